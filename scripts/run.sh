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
if [ -f scripts/demo.sh ]; then
  exec bash scripts/demo.sh
fi
# Until the patrol exists: load the plug-in and show what the host sees.
folder=build/demo-spine
rm -rf "$folder"; mkdir -p "$folder"
cp build/win32/KIV.dll "$folder/"
printf '0\r\n0' >"$folder/KIV.ini"
export WINEPREFIX="$root/build/wineprefix"
build/win32/wine-run build/win32/host/kivhost.exe --plugin "Z:$(pwd)/$folder/KIV.dll" \
  --store "Z:$(pwd)/$folder/store" load info menu unload
