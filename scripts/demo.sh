#!/usr/bin/env bash
# KIV's main job, end to end: the bundled sample feeds served on 127.0.0.1,
# a plug-in folder with KIV.dll and KIV.ini under build/demo, and the stand-in
# host under Wine patrolling; each appended message is shown, then a second
# run shows that nothing is delivered twice. Needs scripts/setup.sh and the
# Windows build (build/win32, or the folder named by KIV_WIN32_BUILD).
set -euo pipefail
scripts=$(cd "$(dirname "$0")" && pwd)
exec "$scripts/with-display.sh" python3 "$scripts/demo.py" "$@"
