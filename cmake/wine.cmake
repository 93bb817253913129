# Runs Windows programs under the project's private 32-bit Wine prefix, with
# the ANSI code page 932 (Japanese) and Wine's own diagnostics silenced.
set(KIV_WINEPREFIX "${CMAKE_SOURCE_DIR}/build/wineprefix" CACHE PATH "Private Wine prefix")
set(KIV_WINE_RUN "${CMAKE_BINARY_DIR}/wine-run")
file(WRITE ${KIV_WINE_RUN}
"#!/bin/sh
export WINEPREFIX='${KIV_WINEPREFIX}' WINEARCH=win32 WINEDEBUG=-all LC_ALL=ja_JP.UTF-8
exec wine \"$@\"
")
file(CHMOD ${KIV_WINE_RUN} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
