# Dates: the feeds' and HTTP's date texts, read, compared and written.
list(APPEND KIV_CORE_SOURCES
  feed/dates/timestamps.cpp
  feed/dates/http_date.cpp)
# Reading: a document made ready, parsed within its bounds, recognised, and
# its fields read as a person reads them.
list(APPEND KIV_CORE_SOURCES
  feed/read/feed_document.cpp
  feed/read/document_text.cpp
  feed/read/code_pages.cpp
  feed/read/document_shape.cpp
  feed/read/feed_recognition.cpp
  feed/read/feed_namespaces.cpp
  feed/read/content_modes.cpp
  feed/read/element_text.cpp
  feed/read/item_fields.cpp
  feed/read/html_text.cpp
  feed/read/item_dates.cpp
  feed/read/item_enclosures.cpp
  feed/read/json_feed.cpp
  feed/read/feed_links.cpp)
# Delivering: which items are new, the message that carries them, and the
# per-feed record of what was delivered.
list(APPEND KIV_CORE_SOURCES
  feed/deliver/item_walk.cpp
  feed/deliver/feed_record.cpp
  feed/deliver/message_pieces.cpp
  feed/deliver/message_composition.cpp
  feed/deliver/item_messages.cpp
  feed/deliver/item_rules.cpp)
# Fetching: the request headers are portable, the download needs WinINet.
list(APPEND KIV_CORE_SOURCES
  feed/fetch/request_headers.cpp
  feed/fetch/content_coding.cpp
  feed/fetch/credentials.cpp
  feed/fetch/inflate.cpp
  feed/fetch/retry_after.cpp)
list(APPEND KIV_WIN32_SOURCES
  feed/fetch/http_retrieval.cpp
  feed/fetch/download_deadline.cpp
  feed/fetch/download_pool.cpp)
# The patrol: every feed through the stages above, what each came to in the
# log, and the failing streaks.
list(APPEND KIV_CORE_SOURCES
  feed/patrol/patrol_log.cpp
  feed/patrol/failing_feeds.cpp
  feed/patrol/moved_feeds.cpp)
list(APPEND KIV_WIN32_SOURCES
  feed/patrol/patrol_run.cpp
  feed/patrol/patrol_log_file.cpp
  feed/patrol/failing_feed_watch.cpp
  feed/patrol/feed_state_reader.cpp)
