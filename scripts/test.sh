#!/usr/bin/env bash
# Every test of KIV, on a fresh Debian 12 machine as on a developer's:
# set-up, both builds, the core tests natively (AddressSanitizer and
# UndefinedBehaviorSanitizer, the shared settings operations also under
# ThreadSanitizer) and under Wine, the plug-in tests through the stand-in
# host (on the 64-bit twin where this machine runs no 32-bit programs, and
# on the shipped 32-bit build, emulated there), the real-world feed corpus
# through the same host in one run, a short run of each fuzz target.
# Ends with one summary line: "N passed, M failed".
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh || { echo "0 passed, 1 failed"; exit 1; }

jobs=$(nproc)
logs=build/test-logs
mkdir -p "$logs"
passed=0 failed=0 failures=()

# Adds a stage's counts; the stage's log tells its own story on failure.
count() {  # stage, exit code, passed, failed
  passed=$((passed + $3)); failed=$((failed + $4))
  if [ "$2" != 0 ] || [ "$4" != 0 ]; then
    failures+=("$1")
    [ "$4" != 0 ] || failed=$((failed + 1))
    echo "== $1: FAILED (log: $logs/$1.log)"; tail -n 40 "$logs/$1.log"
  else
    echo "== $1: $3 passed"
  fi
}

gtest_counts() {  # log -> "passed failed"
  local p f
  p=$(grep -Eo '^\[  PASSED  \] [0-9]+' "$1" | awk '{s+=$NF} END {print s+0}')
  f=$(grep -Eo '^\[  FAILED  \] [0-9]+ test' "$1" | awk '{s+=$3} END {print s+0}')
  echo "$p $f"
}

build() {  # stage, build dir, cmake options...
  local stage=$1 dir=$2; shift 2
  { cmake -S . -B "$dir" "$@" && cmake --build "$dir" -j"$jobs"; } >"$logs/$stage.log" 2>&1
  local rc=$?
  [ $rc = 0 ] || count "$stage" $rc 0 0
  return $rc
}

# The Windows build whose programs run here: build/win32 itself, or its
# 64-bit twin where this machine runs no 32-bit processes.
. scripts/windows-builds.sh
wine_build=build/$KIV_WINE_ARCH
# One wine server for the whole run instead of one per Wine process.
wine_server() { LC_ALL=ja_JP.UTF-8 WINEPREFIX="$root/build/$KIV_WINE_PREFIX_NAME" "$KIV_WINE_SERVER" "$@" 2>/dev/null; }
wine_server -p
trap 'wine_server -k' EXIT

# The plug-in tests of one Windows build (scripts/plugin-tests.sh), with
# pytest's count line and the stage's time.
plugin_tests() {  # stage, build dir
  local start=$SECONDS
  bash scripts/plugin-tests.sh "$2" >"$logs/$1.log" 2>&1
  local rc=$? p f
  p=$(grep -Eo '[0-9]+ passed' "$logs/$1.log" | tail -n 1 | grep -Eo '[0-9]+' || echo 0)
  f=$(grep -Eo '[0-9]+ (failed|error)' "$logs/$1.log" | awk '{s+=$1} END {print s+0}')
  echo "== $1 ($2): $(grep -E ' in [0-9.]+s' "$logs/$1.log" | tail -n 1 | tr -d '=') [$((SECONDS - start)) s]"
  count "$1" "$rc" "${p:-0}" "${f:-0}"
}

if build native-build build/native -DCMAKE_BUILD_TYPE=Debug -DKIV_SANITIZE=ON; then
  build/native/tests/kiv_core_tests >"$logs/native-core.log" 2>&1
  rc=$?; read -r p f < <(gtest_counts "$logs/native-core.log"); count native-core $rc "$p" "$f"
fi

# The settings operations the worker and the host's thread share, under
# ThreadSanitizer.
if build tsan-build build/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKIV_TSAN=ON; then
  build/tsan/tests/kiv_core_tests --gtest_filter='SettingsConcurrency*' >"$logs/tsan.log" 2>&1
  rc=$?; read -r p f < <(gtest_counts "$logs/tsan.log"); count tsan $rc "$p" "$f"
fi

# KIV.dll as shipped: 32-bit. The plug-in tests check its file format,
# exports and imports whichever build they run.
build win32-build build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo
win32_built=$?
if [ "$wine_build" != build/win32 ]; then
  build win64-build build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo
  wine_built=$?
else
  wine_built=$win32_built
fi
if [ "$win32_built" = 0 ] && [ "$wine_built" = 0 ]; then
  "$wine_build/wine-run" "$wine_build/tests/kiv_core_tests.exe" >"$logs/wine-core.log" 2>&1
  rc=$?; read -r p f < <(gtest_counts "$logs/wine-core.log"); count wine-core $rc "$p" "$f"

  # The plug-in tests on the build whose Wine runs here (where that is the
  # 64-bit twin), then on the shipped build/win32 under the 32-bit Wine,
  # through qemu-i386 where this machine runs no 32-bit programs.
  [ "$wine_build" = build/win32 ] || plugin_tests plugin "$wine_build"
  plugin_tests plugin-win32 build/win32

  # The real-world corpus in one host run, each feed a test.
  (. "$wine_build/wine-env" && KIV_WIN32_BUILD="$root/$wine_build" \
     scripts/with-display.sh /usr/bin/python3 scripts/corpus_check.py) >"$logs/corpus.log" 2>&1
  rc=$?
  read -r p f < <(grep -E '^[0-9]+ passed, [0-9]+ failed$' "$logs/corpus.log" | tail -n 1 | awk '{print $1, $3}')
  grep -E '^corpus: ' "$logs/corpus.log"
  count corpus "$rc" "${p:-0}" "${f:-0}"
fi

if [ -x scripts/fuzz.sh ]; then
  bash scripts/fuzz.sh "${KIV_FUZZ_SECONDS:-60}" >"$logs/fuzz.log" 2>&1
  rc=$?; count fuzz $rc $((rc == 0)) 0
fi

[ ${#failures[@]} = 0 ] || echo "failed stages: ${failures[*]}"
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
