#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds and runs every test: a normal build, then an address+undefined sanitizer build, then the
# thread sanitizer on the threaded core (reader, apply, executor; also in the virtual machine of
# tests/kernel). Installs what it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
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

scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWITH_TESTS=ON -DWITH_BENCH=ON -DWITH_WERROR=ON
run_ctest build

scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DWITH_ASAN=ON -DWITH_BENCH=OFF -DWITH_WERROR=ON
run_ctest build-asan

scripts/build.sh build-tsan -DCMAKE_BUILD_TYPE=Debug -DWITH_TSAN=ON -DWITH_GUI=OFF -DWITH_BENCH=OFF -DWITH_WERROR=ON
run_ctest build-tsan -L "unit|kernel"
