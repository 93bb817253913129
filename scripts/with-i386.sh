#!/usr/bin/env bash
# Runs a command where 32-bit x86 Linux programs run, as the 32-bit Wine that
# runs the shipped build/win32 needs: as it is on a machine that runs them,
# else inside a user and mount namespace of its own whose binfmt_misc hands
# every i386 program to qemu-i386. The registration lives and dies with that
# namespace (Linux 6.7 and later give each one its own binfmt_misc): the rest
# of the machine keeps seeing that it runs no 32-bit programs, so no other
# program's check picks a build that cannot run there.
#
#   with-i386.sh --fetch      puts qemu-i386 into build/qemu, once
#   with-i386.sh COMMAND...   runs COMMAND, and every process it starts, so
#
# qemu-i386 comes from the qemu-user package of Debian's bookworm-backports
# (QEMU 10; bookworm's own 7.2 is too slow for Wine and crashes), fetched with
# a private sources list and unpacked here: the machine's apt sources and
# packages stay as they are. Fails loudly when 32-bit programs cannot run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KIV_BUILD_DIR:-$root/build}
qemu=$build/qemu
interpreter=$qemu/usr/libexec/qemu-binfmt/i386-binfmt-P
# qemu's own pattern for i386 ELF executables (usr/share/qemu/binfmt.d).
magic='\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\xfc\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

runs_i386() { /lib/ld-linux.so.2 --help >/dev/null 2>&1; }
fail() { echo "with-i386: $*" >&2; exit 1; }

fetch() {
  [ -x "$qemu/usr/bin/qemu-i386" ] && return 0
  local apt=$qemu/apt
  mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial"
  echo 'deb http://deb.debian.org/debian bookworm-backports main' >"$apt/sources.list"
  local options=(-q -o Dir::Etc::SourceList="$apt/sources.list" -o Dir::Etc::SourceParts=/dev/null
                 -o Dir::State::Lists="$apt/lists" -o Dir::Cache="$apt/cache" -o APT::Sandbox::User=root)
  apt-get "${options[@]}" update >/dev/null || fail "cannot read bookworm-backports' package list"
  (cd "$apt" && rm -f qemu-user_*.deb && apt-get "${options[@]}" download qemu-user/bookworm-backports >/dev/null) \
    || fail "cannot download qemu-user from bookworm-backports"
  dpkg-deb -x "$apt"/qemu-user_*.deb "$apt/unpacked"
  mkdir -p "$qemu/usr/bin" "$(dirname "$interpreter")"
  mv "$apt/unpacked/usr/bin/qemu-i386" "$qemu/usr/bin/qemu-i386"
  # The name tells qemu that the kernel passes the program's own argv[0] (flag P).
  ln -sf ../../bin/qemu-i386 "$interpreter"
  rm -rf "$apt/unpacked" "$apt"/qemu-user_*.deb
  "$qemu/usr/bin/qemu-i386" --version >/dev/null || fail "$qemu/usr/bin/qemu-i386 does not run"
}

if [ "${1:-}" = --fetch ]; then
  runs_i386 || fetch
  exit 0
fi
[ $# -gt 0 ] || fail "usage: with-i386.sh --fetch | with-i386.sh COMMAND..."
if runs_i386; then
  exec "$@"
fi
[ "${KIV_I386_NAMESPACE:-}" = 1 ] && fail "32-bit programs do not run, even in the namespace made for them"
[ -x "$qemu/usr/bin/qemu-i386" ] || fail "this machine runs no 32-bit programs and $qemu has no qemu-i386: run scripts/setup.sh"
# F: the kernel opens qemu-i386 now, so that it is found from any mount view.
export KIV_I386_NAMESPACE=1 KIV_I386_RULE=":kiv-i386:M::$magic:$mask:$interpreter:FP"
exec unshare --user --map-root-user --mount bash -c '
  mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null \
    || { echo "with-i386: no binfmt_misc of its own in a user namespace (Linux 6.7 or later needed)" >&2; exit 1; }
  printf "%s" "$KIV_I386_RULE" >/proc/sys/fs/binfmt_misc/register \
    || { echo "with-i386: cannot register qemu-i386 in the namespace" >&2; exit 1; }
  /lib/ld-linux.so.2 --help >/dev/null 2>&1 || { echo "with-i386: qemu-i386 does not start 32-bit programs" >&2; exit 1; }
  exec "$@"' with-i386 "$@"
