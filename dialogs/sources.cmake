# The screens: the preferences dialog and its pages, the folder prompt, the
# feed list in and out as OPML, and ADD's look at a typed address. The
# readers and writers behind them are portable; the windows need Win32.
list(APPEND KIV_CORE_SOURCES
  dialogs/opml_import.cpp
  dialogs/opml_export.cpp
  dialogs/feed_discovery.cpp)
list(APPEND KIV_WIN32_SOURCES
  dialogs/folder_prompt.cpp
  dialogs/feed_list_page.cpp
  dialogs/feed_options_dialog.cpp
  dialogs/opml_page.cpp
  dialogs/discovery_fetch.cpp
  dialogs/feed_discovery_page.cpp
  dialogs/preferences_dialog.cpp)
