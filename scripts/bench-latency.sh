#!/usr/bin/env bash
# Benchmark: one patrol of the bench's 200 feeds spread over 120 servers on
# loopback addresses of their own, each adding round trips (per connection,
# per response, per TLS handshake; some hosts slower than others), KIV beside
# newsboat (one feed at a time, and 4 threads) and rss2email, each round from
# the same state, the readers in turn; prints the medians, KIV's ratios, what
# the servers counted (connections, TLS handshakes, bytes) and the model's
# ideal. Installs the peers and needs what bench-peers.sh does; the
# environment variables that narrow it are in scripts/bench_latency.py.
set -euo pipefail
exec "$(cd "$(dirname "$0")" && pwd)/bench-peers.sh" --latency "$@"
