list(APPEND KIV_CORE_SOURCES
  settings/settings_file.cpp
  settings/preference_edits.cpp
  settings/settings_backup.cpp
  settings/options_file.cpp
  settings/opml_import.cpp
  settings/opml_export.cpp
  settings/feed_discovery.cpp)
list(APPEND KIV_WIN32_SOURCES
  settings/folder_prompt.cpp
  settings/feed_list_page.cpp
  settings/opml_page.cpp
  settings/discovery_fetch.cpp
  settings/feed_discovery_page.cpp
  settings/preferences_dialog.cpp)
# The timestamps that patrols store, and their journal for the dialog's Cancel.
list(APPEND KIV_CORE_SOURCES
  settings/patrol_timestamps.cpp)
