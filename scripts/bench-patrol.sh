#!/usr/bin/env bash
# Benchmark: one patrol of 200 feeds from the local feed server, half of them
# unchanged by Last-Modified and half with new items, through the stand-in
# host under Wine: the patrol's wall time and the host's peak memory; the
# bytes on the wire plain and gzipped; and those of a patrol with no news
# from servers that send both validators, Last-Modified alone, none, or
# validators they then ignore. Needs
# scripts/setup.sh and the Windows build that runs here (build/win32, or
# build/win64 where no 32-bit process runs; or the folder named by
# KIV_WIN32_BUILD); KIV_BENCH_FEEDS changes the number of feeds.
set -euo pipefail
scripts=$(cd "$(dirname "$0")" && pwd)
. "$scripts/windows-builds.sh"
export KIV_WIN32_BUILD=${KIV_WIN32_BUILD:-$(dirname "$scripts")/build/$KIV_WINE_ARCH}
exec "$scripts/with-display.sh" python3 "$scripts/bench_patrol.py" "$@"
