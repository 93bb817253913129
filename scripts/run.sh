#!/usr/bin/env bash
# The main job: set-up, the Windows build, then a patrol of the bundled
# sample feeds through KIV.dll in the stand-in host, its messages shown.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
. scripts/windows-builds.sh
echo "building KIV.dll and the stand-in host..."
windows_build() {  # folder, toolchain
  cmake -S . -B "$1" -DCMAKE_TOOLCHAIN_FILE="$2" -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
    cmake --build "$1" -j"$(nproc)" --target kiv_plugin kivhost
}
{ windows_build build/win32 cmake/toolchain-mingw-i686.cmake &&
  { [ "$KIV_WINE_ARCH" = win32 ] || windows_build "build/$KIV_WINE_ARCH" "$KIV_WINE_TOOLCHAIN"; }; } \
  >build/run-build.log 2>&1 || { tail -n 40 build/run-build.log; exit 1; }
exec bash scripts/demo.sh
