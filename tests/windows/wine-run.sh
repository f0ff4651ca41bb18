#!/bin/bash
# SPDX-License-Identifier: MIT
# Starts a Windows test program under Wine for ctest and GoogleTest's discovery:
#   wine-run.sh WINE PROGRAM [ARGUMENTS...]
# Now and then (about once in a thousand starts, under load) Wine ends a program before the program
# runs at all: a non-zero status within a hundredth of a second and not a byte written. The test
# programs write a line to standard output before any test runs, and flush it before each test: a
# run that failed without writing anything there never reached a test. Such a run is said on standard
# error and started once more; any other outcome is the program's own, passed on as it is.
set -u -o pipefail
wine=$1
shift
out=$(mktemp)
trap 'rm -f "$out"' EXIT
for attempt in 1 2; do
  "$wine" "$@" | tee "$out"
  status=${PIPESTATUS[0]}
  if [ "$status" = 0 ] || [ -s "$out" ] || [ "$attempt" = 2 ]; then
    exit "$status"
  fi
  echo "wine-run: Wine ended $(basename -- "$1") with status $status before it wrote anything: starting it once more" >&2
done
