# Runs Windows programs under the project's private Wine prefix of the build's
# word size, with the ANSI code page 932 (Japanese) and Wine's own diagnostics
# silenced. wine-env holds the settings (a shell can source it, e.g. to keep a
# wine server alive for a test run); wine-run runs one program with them. The
# 64-bit Wine is called directly: Debian's `wine` wrapper picks the 32-bit
# loader whenever it is installed, runnable or not. The 32-bit Wine runs
# through scripts/with-i386.sh, under qemu-i386 where this machine runs no
# 32-bit programs (and as it is where it does, or inside that script's
# namespace).
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(KIV_WINEPREFIX "${CMAKE_SOURCE_DIR}/build/wineprefix64" CACHE PATH "Private Wine prefix")
  set(KIV_WINE_SETTINGS "WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64")
  set(KIV_WINE_LOADER /usr/lib/wine/wine64)
  set(KIV_WINE_SERVER /usr/lib/wine/wineserver64)
else()
  set(KIV_WINEPREFIX "${CMAKE_SOURCE_DIR}/build/wineprefix" CACHE PATH "Private Wine prefix")
  set(KIV_WINE_SETTINGS "WINEARCH=win32")
  set(KIV_WINE_LOADER wine)
  set(KIV_WINE_WRAPPER "'${CMAKE_SOURCE_DIR}/scripts/with-i386.sh' ")
  set(KIV_WINE_SERVER wineserver)
endif()
file(WRITE ${CMAKE_BINARY_DIR}/wine-env
"export WINEPREFIX='${KIV_WINEPREFIX}' ${KIV_WINE_SETTINGS} WINEDEBUG=-all LC_ALL=ja_JP.UTF-8
KIV_WINE_LOADER='${KIV_WINE_LOADER}' KIV_WINE_SERVER='${KIV_WINE_SERVER}'
")
set(KIV_WINE_RUN "${CMAKE_BINARY_DIR}/wine-run")
file(WRITE ${KIV_WINE_RUN}
"#!/bin/sh
. '${CMAKE_BINARY_DIR}/wine-env'
exec ${KIV_WINE_WRAPPER}\"$KIV_WINE_LOADER\" \"$@\"
")
file(CHMOD ${KIV_WINE_RUN} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
