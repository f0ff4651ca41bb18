#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The demo under a headless Wayland compositor (weston) on Qt's wayland platform: every page draws, and
# --screenshots saves the three pages and the virtual mouse and succeeds (a Wayland compositor gives
# no picture of the whole screen, which is said and not counted as a failure).
# Usage: demo_under_weston_test.sh BIN_DIR
set -euo pipefail
bin=$1
runtime=$(mktemp -d)
chmod 700 "$runtime"
shots=$runtime/shots
weston_pid=
cleanup() {
    [ -n "$weston_pid" ] && kill "$weston_pid" 2>/dev/null && wait "$weston_pid" 2>/dev/null
    rm -rf "$runtime"
}
trap cleanup EXIT

XDG_RUNTIME_DIR=$runtime weston --backend=headless-backend.so --socket=wayland-krv-test --width=1280 \
    --height=1024 --idle-time=0 >"$runtime/weston.log" 2>&1 &
weston_pid=$!
for _ in $(seq 100); do # the socket appears once weston listens (at most 10 s)
    [ -S "$runtime/wayland-krv-test" ] && break
    kill -0 "$weston_pid" 2>/dev/null || { cat "$runtime/weston.log"; echo "weston ended"; exit 1; }
    sleep 0.1
done
[ -S "$runtime/wayland-krv-test" ] || { cat "$runtime/weston.log"; echo "weston did not start"; exit 1; }

status=0
# Qt's wayland plugin and libwayland-client keep allocations to the end of the process (some in a
# plugin unloaded by then, which no suppression can name): the leak check, which every other test
# keeps, is off for this one.
XDG_RUNTIME_DIR=$runtime WAYLAND_DISPLAY=wayland-krv-test QT_QPA_PLATFORM=wayland \
    ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" \
    timeout 120 "$bin/krv-glyde-demo" --screenshots "$shots" || status=$?
[ "$status" -eq 0 ] || { echo "the demo exited with status $status"; exit 1; }
for page in main advanced color; do
    size=$(file "$shots/krv-glyde-$page.png")
    [[ $size == *"PNG image data, 840 x 560"* ]] || { echo "page $page: $size"; exit 1; }
done
[[ $(file "$shots/krv-glyde-virtual-mouse.png") == *"PNG image data"* ]] || { echo "no virtual mouse"; exit 1; }
echo "the demo drew its pages under weston"
