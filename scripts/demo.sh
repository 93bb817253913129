#!/usr/bin/env bash
# KIV's main job, end to end: the bundled sample feeds served on 127.0.0.1,
# a plug-in folder with KIV.dll and KIV.ini under build/demo, and the stand-in
# host under Wine patrolling; each appended message is shown, then a second
# run shows that nothing is delivered twice. Needs scripts/setup.sh and the
# Windows build that runs here (build/win32, or build/win64 where no 32-bit
# process runs; or the folder named by KIV_WIN32_BUILD).
set -euo pipefail
scripts=$(cd "$(dirname "$0")" && pwd)
. "$scripts/windows-builds.sh"
export KIV_WIN32_BUILD=${KIV_WIN32_BUILD:-$(dirname "$scripts")/build/$KIV_WINE_ARCH}
exec "$scripts/with-display.sh" python3 "$scripts/demo.py" "$@"
