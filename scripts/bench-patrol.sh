#!/usr/bin/env bash
# Benchmark: one patrol of 200 feeds from the local feed server, half of them
# unchanged by Last-Modified and half with new items, through the stand-in
# host under Wine. Prints the patrol's wall time and the host's peak memory.
# Needs scripts/setup.sh and the Windows build (build/win32, or the folder
# named by KIV_WIN32_BUILD); KIV_BENCH_FEEDS changes the number of feeds.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export KIV_WIN32_BUILD=${KIV_WIN32_BUILD:-$root/build/win32}
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a python3 "$root/scripts/bench_patrol.py" "$@"
fi
exec python3 "$root/scripts/bench_patrol.py" "$@"
