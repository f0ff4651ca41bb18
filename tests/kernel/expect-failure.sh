#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks that the boot script fails loudly: a guest program that reports a failed step and then hangs
# must make run-vm.sh exit non-zero, naming the failed step, the time-out and the missing end marker.
# Usage: tests/kernel/expect-failure.sh BROKEN_GUEST [run-vm.sh options...]
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
broken=${1:?usage: $0 BROKEN_GUEST [options]}
shift
out=$("$here/run-vm.sh" --timeout 90 "$@" "$broken" 2>&1)
rc=$?
echo "$out"
status=0
expect() {
  if grep -qF -- "$1" <<<"$out"; then
    echo "PASS verdict names: $1"
  else
    echo "FAIL verdict does not name: $1"
    status=1
  fi
}
if [ $rc -eq 0 ]; then
  echo "FAIL run-vm.sh passed a broken guest"
  status=1
fi
expect "FAIL deliberate failure: reported on purpose"
expect "run-vm: the guest did not finish within 90s"
expect "run-vm: no end marker"
expect "run-vm: $(basename "$broken") did not run to its end"
expect "run-vm: 1 FAIL lines"
exit $status
