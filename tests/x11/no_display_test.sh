#!/bin/sh
# SPDX-License-Identifier: MIT
# Started where there is no display, the companion (or the demo) says so in one line and ends with
# status 2 (not Qt's abort).
set -u
program=$1
name=$(basename "$program")
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
for platform in "" xcb wayland "xcb;wayland"; do
    env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM="$platform" "$program" --tray \
        >"$dir/out" 2>"$dir/err"
    status=$?
    if [ "$status" -ne 2 ]; then
        echo "QT_QPA_PLATFORM='$platform': exit status $status, expected 2"; cat "$dir/err"; exit 1
    fi
    if [ "$(wc -l <"$dir/err")" -ne 1 ] || ! grep -q "^$name: no display" "$dir/err"; then
        echo "QT_QPA_PLATFORM='$platform': expected one line about the display, got:"; cat "$dir/err"; exit 1
    fi
done
echo ok
