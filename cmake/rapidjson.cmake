# RapidJSON is Debian's (rapidjson-dev), header-only. Natively its headers
# are found where the system keeps them. The mingw builds must not see the
# system's other headers, so they take a folder of the build tree that holds
# only a link to RapidJSON's own.
find_path(KIV_RAPIDJSON_DIR rapidjson/reader.h PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH)
if(NOT KIV_RAPIDJSON_DIR)
  message(FATAL_ERROR "RapidJSON not found; run scripts/setup.sh (package rapidjson-dev)")
endif()
add_library(kiv_rapidjson INTERFACE)
if(WIN32)
  set(KIV_RAPIDJSON_INCLUDE "${CMAKE_BINARY_DIR}/rapidjson-include")
  file(MAKE_DIRECTORY "${KIV_RAPIDJSON_INCLUDE}")
  file(CREATE_LINK "${KIV_RAPIDJSON_DIR}/rapidjson" "${KIV_RAPIDJSON_INCLUDE}/rapidjson" SYMBOLIC)
  target_include_directories(kiv_rapidjson SYSTEM INTERFACE "${KIV_RAPIDJSON_INCLUDE}")
else()
  target_include_directories(kiv_rapidjson SYSTEM INTERFACE "${KIV_RAPIDJSON_DIR}")
endif()
