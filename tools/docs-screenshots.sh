#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The README's and the AppStream metainfo's pictures: the demo's three pages, taken on a real X server
# (Xvfb) and saved into docs/. Run after a build: tools/docs-screenshots.sh [build folder]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
shots=$(mktemp -d)
trap 'rm -rf "$shots"' EXIT
cmake --build "$build" -j2 --target krv-glyde-demo >/dev/null
unset QT_QPA_PLATFORM
xvfb-run -a -s "-screen 0 1280x800x24" "$build/bin/krv-glyde-demo" --screenshots "$shots" >/dev/null
for page in main advanced color; do
  cp "$shots/krv-glyde-$page.png" docs/
done
ls -l docs/*.png
