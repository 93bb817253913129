#!/usr/bin/env bash
# The release package: set-up, the shipped 32-bit KIV.dll (build/win32), then
# dist/KIV-<version>.zip with KIV.dll, the default KIV.ini and the user guide.
#   bash scripts/package.sh [DIST_DIR]     (default: dist beside the sources)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
dist=$(realpath -m "${1:-dist}")
bash scripts/setup.sh
echo "building KIV.dll..."
{ cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
    cmake --build build/win32 -j"$(nproc)" --target kiv_plugin; } \
  >build/package-build.log 2>&1 || { tail -n 40 build/package-build.log; exit 1; }
/usr/bin/python3 scripts/package.py build/win32/KIV.dll "$dist"
