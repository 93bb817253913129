# Sourced by the scripts: which Windows build runs here. KIV.dll is a 32-bit
# DLL and build/win32 always builds it. A kernel may run no 32-bit processes
# (32-bit emulation switched off), and then no 32-bit Wine either: the tests,
# the demo and the benchmarks then run the 64-bit twin built from the same
# sources in build/win64, under a 64-bit Wine (cmake/wine.cmake writes each
# build's wine-env and wine-run to match).
runs_32bit_processes() { /lib/ld-linux.so.2 --help >/dev/null 2>&1; }
if runs_32bit_processes; then
  KIV_WINE_ARCH=win32 KIV_WINE_TOOLCHAIN=cmake/toolchain-mingw-i686.cmake
  KIV_WINE_PREFIX_NAME=wineprefix KIV_WINE_LOADER=wine KIV_WINE_SERVER=wineserver
else
  KIV_WINE_ARCH=win64 KIV_WINE_TOOLCHAIN=cmake/toolchain-mingw-x86_64.cmake
  KIV_WINE_PREFIX_NAME=wineprefix64 KIV_WINE_LOADER=/usr/lib/wine/wine64 KIV_WINE_SERVER=/usr/lib/wine/wineserver64
fi
