list(APPEND KIV_CORE_SOURCES
  feed/feed_document.cpp
  feed/document_shape.cpp
  feed/feed_recognition.cpp
  feed/item_fields.cpp
  feed/timestamps.cpp
  feed/message_composition.cpp)
list(APPEND KIV_WIN32_SOURCES
  feed/patrol_run.cpp)
# HTTP retrieval: the date reader is portable, the download needs WinINet.
list(APPEND KIV_CORE_SOURCES
  feed/http_date.cpp)
list(APPEND KIV_WIN32_SOURCES
  feed/http_retrieval.cpp
  feed/download_deadline.cpp)
