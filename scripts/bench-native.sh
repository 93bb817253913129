#!/usr/bin/env bash
# Builds one native Release benchmark of tests/bench into build/bench and
# runs it with a scratch folder of its own and the given arguments.
#   scripts/bench-native.sh TARGET [ARGUMENTS...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
target=$1
shift
build="$root/build/bench"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DKIV_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target "$target" >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/tests/bench/$target" "$work" "$@"
