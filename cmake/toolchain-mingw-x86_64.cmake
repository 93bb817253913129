# 64-bit Windows: a twin of the 32-bit build that runs the same tests under a
# 64-bit Wine, for machines whose kernel runs no 32-bit processes (and so no
# 32-bit Wine). The plug-in shipped stays the 32-bit one.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KIV_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
