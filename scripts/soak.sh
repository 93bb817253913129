#!/usr/bin/env bash
# A soak: the stand-in host with KIV under Wine for N patrols (default 1,000)
# of changing feeds from the local feed server (some answering 304, some
# failing, one slow, one asking for a pause mid-way), its address space,
# memory, handles and threads sampled through the run, and every item served
# counted in the messages: each exactly once (tests/plugin/soak.py). Runs the
# build that runs here (build/win32, or build/win64 where no 32-bit process
# runs; or the folder named by KIV_WIN32_BUILD). Ends with the figures and
# any failure; exit status 1 on a failure.
#   scripts/soak.sh [PATROLS]
set -euo pipefail
scripts=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$scripts")
. "$scripts/windows-builds.sh"
export KIV_WIN32_BUILD=${KIV_WIN32_BUILD:-$root/build/$KIV_WINE_ARCH}
export PYTHONPATH="$root/tests/plugin:$root/tests/support${PYTHONPATH:+:$PYTHONPATH}"
exec "$scripts/with-display.sh" python3 "$root/tests/plugin/soak.py" "$@"
