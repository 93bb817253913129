#!/usr/bin/env bash
# Builds the native Release benchmark into build/bench and prints, for
# generated RSS 2.0 feeds of 1,000, 10,000 and as many new items as fit the
# 8 MiB download bound, the time and peak memory of convert_feed beside
# TinyXML's own load of the file, with each of convert_feed's steps timed on
# its own: medians of KIV_BENCH_ROUNDS rounds (default 5) with the lowest and
# highest; then the peak memory of hostile documents at the node bound; last,
# a JSON Feed of as many items as fit 8 MiB beside the same items as RSS 2.0.
# KIV_BENCH_HTML=1 gives the items bodies rich in HTML, KIV_BENCH_PUBDATE=1
# dates them by pubDate.
#   scripts/bench-convert.sh [ITEMS|max ...]
exec "$(dirname "$0")/bench-native.sh" convert_feed_bench "$@"
