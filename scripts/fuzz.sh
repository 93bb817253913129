#!/usr/bin/env bash
# Builds the convert_feed fuzz target (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, TinyXML instrumented too) into build/fuzz and
# runs it for SECONDS (default 60) on a copy of the seed corpus. Exits
# non-zero when the fuzzer finds a crash; the crashing input is kept in
# build/fuzz/artifacts/.
#   scripts/fuzz.sh [SECONDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build="$root/build/fuzz"

cmake -S "$root" -B "$build" -DKIV_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j2 --target convert_feed_fuzzer >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$root/tests/fuzz/corpus/convert_feed" "$work/corpus"
mkdir -p "$build/artifacts"
"$build/tests/fuzz/convert_feed_fuzzer" "$work/corpus" \
  -dict="$root/tests/fuzz/convert_feed.dict" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
  -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$build/artifacts/" 2>"$work/log" \
  || { tail -n 60 "$work/log"; echo "fuzz: crash found; input kept in $build/artifacts/" >&2; exit 1; }
grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$work/log" || tail -n 5 "$work/log"
echo "fuzz: ${seconds}s clean"
