#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds and runs every test: a normal build, then an address+undefined sanitizer build, then the
# thread sanitizer on the threaded core (reader, apply, executor; also in the virtual machine of
# tests/kernel), then the Windows build under Wine. Installs what it needs first. The Windows build
# has the window (companion, demo, widget tests) when Qt for Windows has been built once with
# scripts/install-deps.sh windows-gui (about half an hour; it is kept outside the checkout).
#   scripts/test.sh            every leg
#   scripts/test.sh windows    the Windows leg only (it uses the normal build when it is there)
set -euo pipefail
cd "$(dirname "$0")/.."
legs=${1:-all}
scripts/install-deps.sh test
scripts/install-deps.sh windows

export QT_QPA_PLATFORM=offscreen
# intercept_tls_get_addr=0: GCC 12's runtime can take a thread's dynamic TLS block for an old glibc's
# header (when the block happens to start 16 bytes into a page) and read its bounds from before it; the
# leak checker's tracer then crashes at exit ("Tracer caught signal 11") although nothing leaked.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:intercept_tls_get_addr=0
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
jobs=$(nproc)

run_ctest() {
  local dir=$1
  shift
  echo "== tests in $dir"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 300 "$@"
}

# The Windows leg: the command-line tool and the core's tests cross-built with MinGW-w64 and run under
# Wine, in a Wine prefix of their own inside the build folder. One wineserver stays up for the whole
# run (a cold start costs seconds per test), and is ended however the leg ends. The comparison of the
# tool with the Linux build's (tests/wine) runs when the normal build is there.
windows_leg() {
  local dir=build-windows
  local linux_ctl=$PWD/build/bin/krv-glyde-ctl
  export WINEPREFIX=$PWD/$dir/wine-prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  mkdir -p "$WINEPREFIX" "$dir"
  # wineserver exits with status 2 when it cannot take the prefix's lock: a server runs there already
  # (one left persistent by hand or by an interrupted run, or serving a Wine program still running).
  # The tests then use that one, and it is left running at the end: this run did not start it.
  local server_status=0
  wineserver -p || server_status=$?
  case $server_status in
  0) trap 'wineserver -k 2>/dev/null || true' EXIT ;;
  2) echo "== a wineserver runs already for $WINEPREFIX: the tests use it, and it is left running" ;;
  *) return "$server_status" ;;
  esac
  # A new prefix is made by the first Wine program, whose services then stay with the persistent
  # server holding that program's output open: made here, with the output in a file, no test or test
  # discovery waits for it.
  wine wineboot --init >"$dir/wineboot.log" 2>&1 </dev/null
  local linux_opt=() qt_opt=(-DWITH_GUI=OFF) qt_dir
  [ -x "$linux_ctl" ] && linux_opt=(-DKRV_LINUX_CTL="$linux_ctl")
  if qt_dir=$(scripts/install-deps.sh qt-windows-dir); then
    qt_opt=(-DWITH_GUI=ON -DCMAKE_PREFIX_PATH="$qt_dir")
  else
    echo "== Qt for Windows is not built (scripts/install-deps.sh windows-gui): the window is left out"
  fi
  scripts/build.sh "$dir" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWITH_TESTS=ON -DWITH_BENCH=OFF -DWITH_WERROR=ON "${qt_opt[@]}" "${linux_opt[@]}"
  run_ctest "$dir"
  if [ "$server_status" = 0 ]; then
    wineserver -k 2>/dev/null || true
    trap - EXIT
  fi
}

if [ "$legs" = windows ]; then
  windows_leg
  exit 0
fi

scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWITH_TESTS=ON -DWITH_BENCH=ON -DWITH_WERROR=ON
run_ctest build

scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DWITH_ASAN=ON -DWITH_BENCH=OFF -DWITH_WERROR=ON
run_ctest build-asan

scripts/build.sh build-tsan -DCMAKE_BUILD_TYPE=Debug -DWITH_TSAN=ON -DWITH_GUI=OFF -DWITH_BENCH=OFF -DWITH_WERROR=ON
run_ctest build-tsan -L "unit|kernel"

windows_leg
