list(APPEND KIV_CORE_SOURCES
  shell/host_functions.cpp
  shell/plugin_paths.cpp)
list(APPEND KIV_WIN32_SOURCES
  shell/plugin_entry.cpp
  shell/patrol_worker.cpp)
