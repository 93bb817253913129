#!/usr/bin/env bash
# KIV's main job, end to end: the bundled sample feeds served on 127.0.0.1,
# a plug-in folder with KIV.dll and KIV.ini under build/demo, and the stand-in
# host under Wine patrolling twice; each appended message is shown decoded.
# Needs scripts/setup.sh and the Windows build (build/win32, or the folder
# named by KIV_WIN32_BUILD).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export KIV_WIN32_BUILD=${KIV_WIN32_BUILD:-$root/build/win32}
# Windows need a display: a private one unless there is one.
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a python3 "$root/scripts/demo.py" "$@"
fi
exec python3 "$root/scripts/demo.py" "$@"
