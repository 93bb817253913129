list(APPEND KIV_CORE_SOURCES
  resources/ui_strings.cpp
  resources/notice_texts.cpp)
set_source_files_properties(resources/ui_strings.cpp resources/notice_texts.cpp PROPERTIES
  COMPILE_OPTIONS "-finput-charset=UTF-8;-fexec-charset=CP932")
list(APPEND KIV_WIN32_SOURCES
  resources/kiv.rc)
