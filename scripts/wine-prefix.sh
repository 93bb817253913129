#!/usr/bin/env bash
# Makes the private Wine prefix of one Windows build, once: win32 (the shipped
# build/win32, prefix build/wineprefix) or win64 (its 64-bit twin, prefix
# build/wineprefix64). Run win32 through scripts/with-i386.sh on a machine
# that runs no 32-bit programs. Safe to run again: every step checks first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KIV_BUILD_DIR:-$root/build}
case ${1:-} in
  win32) export WINEPREFIX="$build/wineprefix" WINEARCH=win32; wine=wine wineserver=wineserver ;;
  win64) export WINEPREFIX="$build/wineprefix64" WINEARCH=win64
         export WINELOADER=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64
         wine=$WINELOADER wineserver=$WINESERVER ;;
  *) echo "usage: wine-prefix.sh win32|win64" >&2; exit 2 ;;
esac
arch=$1
export WINEDEBUG=-all
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$build"
  LC_ALL=ja_JP.UTF-8 "$wine" wineboot -i >/dev/null 2>&1 || true
  "$wineserver" -w || true
  [ -f "$WINEPREFIX/system.reg" ] || { echo "setup: Wine ($arch) could not make its prefix" >&2; exit 1; }
fi
# The dialogs ask for the font "ＭＳ Ｐゴシック"; the IPA P Gothic face has its
# metrics, so the dialogs look under Wine as they do on Windows.
if [ ! -f "$WINEPREFIX/.kiv-fonts" ]; then
  LC_ALL=ja_JP.UTF-8 "$wine" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'ＭＳ Ｐゴシック' \
    /t REG_SZ /d 'IPAPGothic' /f >/dev/null 2>&1 && touch "$WINEPREFIX/.kiv-fonts"
  "$wineserver" -w || true
fi
# HTTPS through Wine, checked once against a loopback TLS server.
if [ ! -f "$WINEPREFIX/.kiv-tls" ]; then
  LC_ALL=ja_JP.UTF-8 /usr/bin/python3 "$root/scripts/tls_check.py" "$wine" || {
    echo "setup: Wine ($arch) cannot fetch over HTTPS in $WINEPREFIX; is GnuTLS of its architecture installed?" >&2
    exit 1
  }
  touch "$WINEPREFIX/.kiv-tls"
  "$wineserver" -w || true
fi
