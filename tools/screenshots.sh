#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Screenshots of the three pages of the main window in both languages, taken from a real X server
# (Xvfb) so that the window's shape shows: tools/screenshots.sh [build folder] [output folder]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=${2:-$build/screenshots}
cmake --build "$build" -j2 --target krv-skin-shots >/dev/null
mkdir -p "$out"
unset QT_QPA_PLATFORM
xvfb-run -a -s "-screen 0 1024x700x24 -wr" "$build/tools/krv-skin-shots" "$out"
ls "$out"
