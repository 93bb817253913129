#!/usr/bin/env bash
# The main job: set-up, the Windows build, then a patrol of the bundled
# sample feeds through KIV.dll in the stand-in host, its messages shown.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
echo "building KIV.dll and the stand-in host..."
{ cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
  cmake --build build/win32 -j"$(nproc)" --target kiv_plugin kivhost; } >build/run-build.log 2>&1 ||
  { tail -n 40 build/run-build.log; exit 1; }
exec bash scripts/demo.sh
