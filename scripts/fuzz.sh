#!/usr/bin/env bash
# Builds the fuzz targets (clang, AddressSanitizer and UndefinedBehaviorSanitizer,
# TinyXML instrumented too) into build/fuzz and runs each for SECONDS (default
# 60), as many at once as there are cores, on a copy of its seed corpus:
# convert_feed (any bytes as a downloaded feed), settings (any bytes as
# KIV.ini, then every operation), html_text (any text as an item description
# made readable), inflate (any bytes as a gzip or deflate body), feed_links
# (any bytes as a web page's head), json_feed (any bytes as a JSON document,
# in both forms of message) and feed_options (any bytes as feeds.ini, and as
# a rule's pattern and an item's text). Exits non-zero when a fuzzer finds a
# crash; the crashing input is kept in build/fuzz/artifacts/.
#   scripts/fuzz.sh [SECONDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build="$root/build/fuzz"

cmake -S "$root" -B "$build" -DKIV_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j2 --target convert_feed_fuzzer settings_fuzzer html_text_fuzzer inflate_fuzzer \
  feed_links_fuzzer json_feed_fuzzer feed_options_fuzzer >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$build/artifacts"

run() {  # target, corpus folder, extra options...
  local target=$1 corpus=$2; shift 2
  cp -r "$root/tests/fuzz/corpus/$corpus" "$work/$corpus"
  "$build/tests/fuzz/$target" "$work/$corpus" -timeout=10 -rss_limit_mb=2048 \
    -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$build/artifacts/" "$@" 2>"$work/$target.log" \
    || { tail -n 60 "$work/$target.log"; echo "fuzz: $target crashed; input kept in $build/artifacts/" >&2; return 1; }
  grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$work/$target.log" | sed "s/^/$target: /"
}

# As many targets at once as the machine has cores: each has a core of its
# own for its whole time, and the stage takes a fraction of the sum.
cores=$(nproc 2>/dev/null || echo 1)
running=() failed=0
start() {
  run "$@" &
  running+=($!)
  if [ ${#running[@]} -ge "$cores" ]; then
    wait "${running[0]}" || failed=1
    running=("${running[@]:1}")
  fi
}
start convert_feed_fuzzer convert_feed -dict="$root/tests/fuzz/convert_feed.dict" -max_len=4096
start settings_fuzzer settings -max_len=2048
start html_text_fuzzer html_text -dict="$root/tests/fuzz/html_text.dict" -max_len=4096
start inflate_fuzzer inflate -max_len=4096
start feed_links_fuzzer feed_links -dict="$root/tests/fuzz/html_text.dict" -max_len=4096
start json_feed_fuzzer json_feed -dict="$root/tests/fuzz/json_feed.dict" -max_len=4096
start feed_options_fuzzer feed_options -dict="$root/tests/fuzz/feed_options.dict" -max_len=2048
for job in "${running[@]}"; do
  wait "$job" || failed=1
done
[ $failed = 0 ] || exit 1
echo "fuzz: ${seconds}s each, clean"
