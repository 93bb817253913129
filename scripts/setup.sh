#!/usr/bin/env bash
# Installs what building and testing KIV needs on a Debian 12 machine, then
# prepares the build tree's third-party sources and the private Wine prefix.
# Safe to run again: every step checks first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KIV_BUILD_DIR:-$root/build}

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

packages=(
  cmake make g++ clang libclang-rt-14-dev googletest libgtest-dev libtinyxml-dev
  dpkg-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64-posix wine wine32:i386 wine64
  xvfb x11-utils xdotool imagemagick
  fonts-ipafont-gothic locales python3 python3-pytest time
  # Wine's TLS comes from GnuTLS of Wine's own architecture, which nothing
  # else is sure to bring: without it every https feed is skipped, silently.
  libgnutls30:i386 libgnutls30 python3-cryptography
)

need_apt=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  as_root dpkg --add-architecture i386; need_apt=1
fi
# deb-src lines let apt-get fetch TinyXML's Debian source package.
for f in /etc/apt/sources.list.d/debian.sources; do
  if [ -f "$f" ] && grep -q '^Types: deb$' "$f"; then
    as_root sed -i 's/^Types: deb$/Types: deb deb-src/' "$f"; need_apt=1
  fi
done
if [ -f /etc/apt/sources.list ] && grep -q '^deb ' /etc/apt/sources.list \
   && ! grep -q '^deb-src ' /etc/apt/sources.list; then
  as_root sh -c "grep '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' >> /etc/apt/sources.list"
  need_apt=1
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ] || [ $need_apt = 1 ]; then
  as_root apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The ANSI code page under Wine follows the locale: ja_JP.UTF-8 gives 932.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP.utf8$'; then
  as_root sh -c "sed -i 's/^# *ja_JP.UTF-8/ja_JP.UTF-8/' /etc/locale.gen; grep -q '^ja_JP.UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen; locale-gen >/dev/null"
fi

# TinyXML's Debian source, patches applied, for the mingw build.
src="$build/third_party"
if [ ! -f "$src/tinyxml/tinyxml.cpp" ]; then
  mkdir -p "$src"; rm -rf "$src"/tinyxml*
  (cd "$src" && apt-get source -qq tinyxml >/dev/null 2>&1)
  mv "$(find "$src" -maxdepth 1 -type d -name 'tinyxml-*' | head -n 1)" "$src/tinyxml"
fi

# The real-world feed corpus, from the test data of Debian's source packages
# of other feed readers, each file checked against tests/data/corpus/ORIGINS.tsv.
/usr/bin/python3 "$root/scripts/corpus_collect.py" --cache "$build/corpus-src" --out "$build/corpus"

# A private Wine prefix for the Windows build that runs here, created once.
. "$root/scripts/windows-builds.sh"
export WINEPREFIX="$build/$KIV_WINE_PREFIX_NAME" WINEARCH=$KIV_WINE_ARCH
if [ "$KIV_WINE_ARCH" = win64 ]; then
  export WINELOADER=$KIV_WINE_LOADER WINESERVER=$KIV_WINE_SERVER
fi
wine=$KIV_WINE_LOADER wineserver=$KIV_WINE_SERVER
export WINEDEBUG=-all
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$build"
  LC_ALL=ja_JP.UTF-8 "$wine" wineboot -i >/dev/null 2>&1 || true
  "$wineserver" -w || true
  [ -f "$WINEPREFIX/system.reg" ] || { echo "setup: Wine ($KIV_WINE_ARCH) could not make its prefix" >&2; exit 1; }
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
    echo "setup: Wine ($KIV_WINE_ARCH) cannot fetch over HTTPS in $WINEPREFIX; is GnuTLS of its architecture installed?" >&2
    exit 1
  }
  touch "$WINEPREFIX/.kiv-tls"
  "$wineserver" -w || true
fi
echo "setup: ready"
