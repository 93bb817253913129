#!/usr/bin/env bash
# Makes the README's pictures (docs/images/preferences.png and message.png)
# with KIV's own tools: the sample feeds patrolled by KIV.dll in the stand-in
# host, its dialog driver photographing the preferences, the delivered
# message drawn in IPA Gothic; and records what they were made from
# (docs/images/pictures.sha256), which a plug-in test checks.
# Needs scripts/setup.sh and the Windows build that runs here (build/win32,
# or build/win64 where no 32-bit process runs; or KIV_WIN32_BUILD).
set -euo pipefail
scripts=$(cd "$(dirname "$0")" && pwd)
. "$scripts/windows-builds.sh"
export KIV_WIN32_BUILD=${KIV_WIN32_BUILD:-$(dirname "$scripts")/build/$KIV_WINE_ARCH}
exec "$scripts/with-display.sh" /usr/bin/python3 "$scripts/pictures.py" "$@"
