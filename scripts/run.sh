#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the program and runs it. Installs what it needs first.
# - The mouse is plugged in (a hidraw node of 18f8:0f99): the companion, krv-glyde.
# - No mouse: the demo, krv-glyde-demo, on the simulated mouse.
# - No display ($DISPLAY empty): the demo under Xvfb, saving screenshots of the three pages.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh run
# A fresh build folder gets the programs only; an existing one (the tests' too) keeps its settings.
if [ -f build/CMakeCache.txt ]; then
  scripts/build.sh build
else
  scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWITH_TESTS=OFF -DWITH_BENCH=OFF
fi

mouse_plugged() {
  local uevent
  for uevent in /sys/class/hidraw/hidraw*/device/uevent; do
    [ -r "$uevent" ] || continue
    grep -qi '^HID_ID=[0-9a-f]*:000018F8:00000F99$' "$uevent" && return 0
  done
  return 1
}

if [ -z "${DISPLAY:-}" ]; then
  shots="$PWD/build/screenshots"
  echo "No display: running the demo under Xvfb and saving screenshots."
  xvfb-run -a -s "-screen 0 1280x1024x24" build/bin/krv-glyde-demo --screenshots "$shots"
  echo "Screenshots of the three pages are in $shots"
elif mouse_plugged; then
  exec build/bin/krv-glyde
else
  echo "The mouse (18f8:0f99) is not plugged in: running the demo on the simulated mouse."
  exec build/bin/krv-glyde-demo
fi
