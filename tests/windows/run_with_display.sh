#!/bin/sh
# SPDX-License-Identifier: MIT
# Runs a Windows test program under Wine with an X display of its own: run_with_display.sh PREFIX WINE
# PROGRAM [ARGUMENTS...]. Wine makes top-level windows only on a display, and its desktop keeps the
# display of the program that started it; so the program gets a Wine prefix of its own (made at the
# first run) with its own Wine server, started on a new Xvfb and ended with it. The other Windows
# tests, run beside it without a display, share the build's prefix and are not touched.
set -eu
prefix=$1
wine=$2
shift 2
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$prefix"
# The server is ended before its display: nothing of this prefix outlives the run.
exec xvfb-run -a -s "-screen 0 1024x768x24 -noreset" \
  sh -c '"$0" "$@"; status=$?; wineserver -k 2>/dev/null; exit $status' "$wine" "$@"
