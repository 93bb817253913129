# The files that keep the settings: KIV.ini and the edits made to it, the
# settings backup, the options beside it, the addresses the list can take.
list(APPEND KIV_CORE_SOURCES
  settings/settings_file.cpp
  settings/preference_edits.cpp
  settings/settings_backup.cpp
  settings/options_file.cpp
  settings/feed_options.cpp
  settings/feed_list_additions.cpp)
# The timestamps that patrols store, and their journal for the dialog's Cancel.
list(APPEND KIV_CORE_SOURCES
  settings/patrol_timestamps.cpp)
