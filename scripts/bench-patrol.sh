#!/usr/bin/env bash
# Benchmark: one patrol of 200 feeds from the local feed server, half of them
# unchanged by Last-Modified and half with new items, through the stand-in
# host under Wine: the patrol's wall time and the host's peak memory. Needs
# scripts/setup.sh and the Windows build (build/win32, or the folder named by
# KIV_WIN32_BUILD); KIV_BENCH_FEEDS changes the number of feeds.
set -euo pipefail
scripts=$(cd "$(dirname "$0")" && pwd)
exec "$scripts/with-display.sh" python3 "$scripts/bench_patrol.py" "$@"
