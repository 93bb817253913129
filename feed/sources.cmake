list(APPEND KIV_CORE_SOURCES)
list(APPEND KIV_WIN32_SOURCES
  feed/patrol_run.cpp)
