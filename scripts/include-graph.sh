#!/usr/bin/env bash
# Prints which folder includes which, with counts: "from -> to  N", one
# arrow a line, for every quoted #include of the project's own sources
# (third-party and system headers, in angle brackets, are left out). Tests
# are left out unless asked for (--tests). An arrow back up the layering
# shows here first, and a loop between folders is named (exit 1). Folders
# are named down to DEPTH levels (default 2, so that the stages inside feed/
# show).
set -euo pipefail
cd "$(dirname "$0")/.."
depth=2 tests=0
for arg in "$@"; do
  case $arg in
    --tests) tests=1 ;;
    --depth=*) depth=${arg#--depth=} ;;
    *) echo "usage: $0 [--tests] [--depth=N]" >&2; exit 2 ;;
  esac
done
edges=$(mktemp); trap 'rm -f "$edges" "$edges.loops"' EXIT
folder() { echo "$1" | cut -d/ -f"1-$depth"; }
git ls-files '*.cpp' '*.h' | while read -r file; do
  [ $tests = 1 ] || case $file in tests/*) continue ;; esac
  dir=$(dirname "$file")
  { grep -o '^#include "[^"]*"' "$file" || true; } | sed 's/^#include "//; s/"$//' | while read -r inc; do
    # Beside the including file, else from the project's root (the include
    # path every target has); a test's own headers are found neither way.
    target=$(realpath -m --relative-to=. "$dir/$inc")
    [ -e "$target" ] || target=$(realpath -m --relative-to=. "$inc")
    [ -e "$target" ] || continue
    from=$(folder "$dir") to=$(folder "$(dirname "$target")")
    # The host's function table sits in shell/ but serves every subsystem;
    # it is a node of its own, so that a use of it is no arrow up to shell/.
    [ "$target" != shell/host_functions.h ] || { [ "$from" = shell ] && continue; to=$target; }
    [ "$from" = "$to" ] || echo "$from -> $to"
  done
done | sort | uniq -c | awk '{printf "%-24s -> %-24s %d\n", $2, $4, $1}' >"$edges"
cat "$edges"
# A loop between folders: tsort names its members.
if ! awk '{print $1, $3}' "$edges" | tsort >/dev/null 2>"$edges.loops"; then
  echo "loop among: $(sed -n 's/^tsort: //p' "$edges.loops" | grep -v 'input contains a loop' | sort -u | tr '\n' ' ')"
  exit 1
fi
echo "no loop"
