list(APPEND KIV_CORE_SOURCES
  feed/feed_document.cpp
  feed/document_text.cpp
  feed/code_pages.cpp
  feed/document_shape.cpp
  feed/feed_recognition.cpp
  feed/feed_namespaces.cpp
  feed/content_modes.cpp
  feed/element_text.cpp
  feed/addresses.cpp
  feed/item_fields.cpp
  feed/html_text.cpp
  feed/calendar_days.cpp
  feed/timestamps.cpp
  feed/item_dates.cpp
  feed/item_walk.cpp
  feed/feed_record.cpp
  feed/message_composition.cpp)
list(APPEND KIV_WIN32_SOURCES
  feed/patrol_run.cpp)
# What each feed of a patrol came to: the log's lines and the failing streaks.
list(APPEND KIV_CORE_SOURCES
  feed/patrol_log.cpp
  feed/failing_feeds.cpp)
list(APPEND KIV_WIN32_SOURCES
  feed/patrol_log_file.cpp
  feed/failing_feed_watch.cpp)
# HTTP retrieval: the date reader is portable, the download needs WinINet.
list(APPEND KIV_CORE_SOURCES
  feed/http_date.cpp
  feed/request_headers.cpp)
list(APPEND KIV_WIN32_SOURCES
  feed/http_retrieval.cpp
  feed/download_deadline.cpp)
