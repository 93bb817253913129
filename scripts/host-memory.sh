#!/usr/bin/env bash
# The stand-in host's address space, committed, private and resident memory,
# handles and threads before KIV, at the peak of a patrol of 2,000 feeds
# (KIV_MEMORY_FEEDS) and after the unload, under Wine. Runs the build that
# runs here (build/win32, or build/win64 where no 32-bit process runs; or the
# folder named by KIV_WIN32_BUILD: build/win32 then runs under emulation
# where needed, through its wine-run).
set -euo pipefail
scripts=$(cd "$(dirname "$0")" && pwd)
. "$scripts/windows-builds.sh"
export KIV_WIN32_BUILD=${KIV_WIN32_BUILD:-$(dirname "$scripts")/build/$KIV_WINE_ARCH}
exec "$scripts/with-display.sh" python3 "$scripts/host_memory.py" "$@"
