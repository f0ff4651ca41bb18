#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what the latency benchmark compares against and runs on, only what is missing: the X
# server (Xvfb) and the usual binding daemon and injector of Linux desktops (xbindkeys, xdotool).
# These are the benchmark's own: the program and its tests do not need them.
set -euo pipefail
want=(xvfb xauth xbindkeys xdotool)
missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "Installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
