#!/usr/bin/env bash
# The release package: set-up, the shipped 32-bit KIV.dll (build/win32), then
# dist/KIV-<version>.zip with KIV.dll, the default KIV.ini and the user guide.
#   bash scripts/package.sh [DIST_DIR]     (default: dist beside the sources)
# KIV_PACKAGE_BUILD names another build folder for the DLL (default build/win32).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
dist=$(realpath -m "${1:-dist}")
build=$(realpath -m "${KIV_PACKAGE_BUILD:-build/win32}")
bash scripts/setup.sh
echo "building KIV.dll..."
{ cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
    cmake --build "$build" -j"$(nproc)" --target kiv_plugin; } \
  >build/package-build.log 2>&1 || { tail -n 40 build/package-build.log; exit 1; }
/usr/bin/python3 scripts/package.py "$build/KIV.dll" "$dist"
