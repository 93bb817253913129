#!/usr/bin/env bash
# Builds the native Release benchmark into build/bench and times an import of
# a reader's OPML list of FEEDS feeds (default 500): reading the file, then
# appending what is new to the settings file.
#   scripts/bench-opml.sh [FEEDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/bench"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DKIV_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target opml_import_bench >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/tests/bench/opml_import_bench" "$work" "$@"
