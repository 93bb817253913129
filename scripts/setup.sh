#!/usr/bin/env bash
# Installs what building and testing KIV needs on a Debian 12 machine, then
# prepares the build tree's third-party sources and the private Wine prefix.
# Safe to run again: every step checks first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KIV_BUILD_DIR:-$root/build}

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

packages=(
  cmake make g++ clang libclang-rt-14-dev googletest libgtest-dev libtinyxml-dev rapidjson-dev
  dpkg-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64-posix wine wine32:i386 wine64
  xvfb x11-utils xdotool imagemagick
  fonts-ipafont-gothic locales python3 python3-pytest time
  # The benchmarks' charts and the README's pictures.
  python3-matplotlib python3-pil
  # Other feed readers, whose OPML lists the plug-in tests exchange with KIV's.
  newsboat rss2email
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

# The private Wine prefix of the Windows build that runs here; where that is
# the 64-bit twin, also the shipped 32-bit build's, its 32-bit Wine under
# qemu-i386 (scripts/with-i386.sh), for the test command's plugin-win32 stage.
. "$root/scripts/windows-builds.sh"
bash "$root/scripts/wine-prefix.sh" "$KIV_WINE_ARCH"
if [ "$KIV_WINE_ARCH" = win64 ]; then
  bash "$root/scripts/with-i386.sh" --fetch
  bash "$root/scripts/with-i386.sh" bash "$root/scripts/wine-prefix.sh" win32
fi
echo "setup: ready"
