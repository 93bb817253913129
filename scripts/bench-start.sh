#!/usr/bin/env bash
# Benchmark: what loading KIV costs the host at its start, through the
# stand-in host under Wine: the time from LoadLibrary to the host's next
# step, and from then to the start-up patrol's first request, with a settings
# file of 1 feed and of 2,000. Runs the build that runs here (build/win32, or
# build/win64 where no 32-bit process runs; or the folder named by
# KIV_WIN32_BUILD); KIV_BENCH_ROUNDS sets the rounds.
set -euo pipefail
scripts=$(cd "$(dirname "$0")" && pwd)
. "$scripts/windows-builds.sh"
export KIV_WIN32_BUILD=${KIV_WIN32_BUILD:-$(dirname "$scripts")/build/$KIV_WINE_ARCH}
exec "$scripts/with-display.sh" python3 "$scripts/bench_start.py" "$@"
