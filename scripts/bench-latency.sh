#!/usr/bin/env bash
# Benchmark: one patrol of the bench's 200 feeds spread over 120 servers on
# loopback addresses of their own, each adding round trips (per connection,
# per response, per TLS handshake; some hosts slower than others), KIV beside
# newsboat (one feed at a time, and 4 threads) and rss2email, each round from
# the same state, the readers in turn; prints the medians, KIV's ratios, what
# the servers counted (connections, TLS handshakes, bytes) and the model's
# ideal. Installs the peers from Debian when missing (as root). Needs
# scripts/setup.sh and the Windows build that runs here, as bench-patrol.sh.
# The environment variables that narrow it are in scripts/bench_latency.py.
set -euo pipefail
scripts=$(cd "$(dirname "$0")" && pwd)
. "$scripts/windows-builds.sh"
export KIV_WIN32_BUILD=${KIV_WIN32_BUILD:-$(dirname "$scripts")/build/$KIV_WINE_ARCH}
if ! command -v r2e >/dev/null || ! command -v newsboat >/dev/null; then
    DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y --no-install-recommends \
        rss2email newsboat >/dev/null
fi
exec "$scripts/with-display.sh" python3 "$scripts/bench_latency.py" "$@"
