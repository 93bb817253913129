list(APPEND KIV_CORE_SOURCES
  settings/settings_file.cpp)
list(APPEND KIV_WIN32_SOURCES
  settings/preferences_dialog.cpp)
