#!/usr/bin/env bash
# Runs the plug-in tests (pytest in tests/plugin) on one Windows build: its
# stand-in host loading its KIV.dll under the Wine of its word size, with one
# wine server kept for the run; the tests inspect the shipped build/win32's
# file either way. build/win32 runs through scripts/with-i386.sh: where this
# machine runs no 32-bit programs, the whole run, the wine server too, is in
# the one namespace where qemu-i386 runs them.
#
# Usage: plugin-tests.sh BUILD_DIR [PYTEST ARGUMENTS...]
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
[ $# -ge 1 ] && [ -f "$1/wine-env" ] || { echo "usage: plugin-tests.sh BUILD_DIR [PYTEST ARGUMENTS...]" >&2; exit 2; }
dir=$(cd "$1" && pwd); shift
. "$dir/wine-env"
if [ "$WINEARCH" = win32 ] && [ -z "${KIV_PLUGIN_TESTS_I386:-}" ]; then
  KIV_PLUGIN_TESTS_I386=1 exec bash "$root/scripts/with-i386.sh" bash "$0" "$dir" "$@"
fi
"$KIV_WINE_SERVER" -p 2>/dev/null
trap '"$KIV_WINE_SERVER" -k 2>/dev/null' EXIT
# Wine's own service and desktop processes start with its first program and
# live as long as the server: started here, they hold none of the tests'
# output pipes open.
"$dir/wine-run" "$dir/host/kivhost.exe" quit </dev/null >/dev/null 2>&1
cd "$root/tests/plugin"
KIV_WIN32_BUILD="$dir" KIV_PRODUCT_BUILD="${KIV_PRODUCT_BUILD:-$root/build/win32}" \
  /usr/bin/python3 -m pytest -q -p no:cacheprovider "$@"
