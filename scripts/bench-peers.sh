#!/usr/bin/env bash
# Benchmark: one patrol of the bench's 200 feeds beside rss2email (digest
# mode) and newsboat, all three on the same feeds from the same local server,
# each round starting from the same state, the readers in turn; prints the
# medians and KIV's ratios. Installs both readers from Debian when missing
# (as root). Needs scripts/setup.sh and the Windows build that runs here, as
# bench-patrol.sh; KIV_BENCH_ROUNDS changes the number of rounds (5).
set -euo pipefail
scripts=$(cd "$(dirname "$0")" && pwd)
. "$scripts/windows-builds.sh"
export KIV_WIN32_BUILD=${KIV_WIN32_BUILD:-$(dirname "$scripts")/build/$KIV_WINE_ARCH}
if ! command -v r2e >/dev/null || ! command -v newsboat >/dev/null; then
    DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y --no-install-recommends \
        rss2email newsboat >/dev/null
fi
# bench-latency.sh runs its own bench through this one, with --latency.
bench=bench_peers.py
if [ "${1:-}" = --latency ]; then
    bench=bench_latency.py
    shift
fi
exec "$scripts/with-display.sh" /usr/bin/python3 "$scripts/$bench" "$@"
