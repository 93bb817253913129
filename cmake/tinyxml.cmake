# TinyXML is Debian's: the installed library natively, and for Windows the
# same Debian source package (security patches applied) that scripts/setup.sh
# unpacks into the build tree. The fuzzing build compiles that source too, so
# that the fuzzer and the sanitizers see into the parser. All builds use
# TIXML_USE_STL, as Debian does.
if(WIN32 OR KIV_FUZZ)
  set(KIV_TINYXML_SOURCE "${CMAKE_SOURCE_DIR}/build/third_party/tinyxml" CACHE PATH
      "Unpacked Debian tinyxml source package")
  if(NOT EXISTS "${KIV_TINYXML_SOURCE}/tinyxml.cpp")
    message(FATAL_ERROR "TinyXML source not found in ${KIV_TINYXML_SOURCE}; run scripts/setup.sh")
  endif()
  add_library(kiv_tinyxml STATIC
    ${KIV_TINYXML_SOURCE}/tinyxml.cpp ${KIV_TINYXML_SOURCE}/tinystr.cpp
    ${KIV_TINYXML_SOURCE}/tinyxmlerror.cpp ${KIV_TINYXML_SOURCE}/tinyxmlparser.cpp)
  target_include_directories(kiv_tinyxml SYSTEM PUBLIC ${KIV_TINYXML_SOURCE})
  target_compile_options(kiv_tinyxml PRIVATE -w)
else()
  find_path(TINYXML_INCLUDE_DIR tinyxml.h REQUIRED)
  find_library(TINYXML_LIBRARY NAMES tinyxml REQUIRED)
  add_library(kiv_tinyxml INTERFACE)
  target_include_directories(kiv_tinyxml SYSTEM INTERFACE ${TINYXML_INCLUDE_DIR})
  target_link_libraries(kiv_tinyxml INTERFACE ${TINYXML_LIBRARY})
endif()
target_compile_definitions(kiv_tinyxml INTERFACE TIXML_USE_STL)
if(WIN32 OR KIV_FUZZ)
  target_compile_definitions(kiv_tinyxml PUBLIC TIXML_USE_STL)
endif()
