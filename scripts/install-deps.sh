#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the Debian packages the build, the program and the tests need, only those missing.
# Usage: scripts/install-deps.sh [run|test|package|windows]
set -euo pipefail

# libfontconfig-dev: the companion loads the skin's font aliases into fontconfig (the build requires it
# on Linux, and the package then depends on libfontconfig1). libsystemd-dev: krv-glyde-ctl reaches the
# running companion on the session bus through sd-bus (the package then depends on libsystemd0).
# libwayland-dev, libwayland-bin: the window in front under wlroots compositors, on a Wayland connection
# of the companion's own (wayland-scanner makes the protocol's client code).
build_pkgs=(build-essential cmake ninja-build pkg-config
            qt6-base-dev libqt6opengl6-dev libgl-dev
            libhidapi-dev libudev-dev libxtst-dev libx11-dev libxi-dev libfontconfig-dev libsystemd-dev
            libwayland-dev libwayland-bin
            fontconfig fonts-liberation fonts-wqy-zenhei scdoc ccache)
run_pkgs=(xvfb xauth)
# Making the .deb: CPack computes its dependencies with dpkg-shlibdeps, which needs file.
package_pkgs=(dpkg-dev file)
# The package's checks also run Debian's and freedesktop's validators on it. sway: a wlroots compositor,
# run headless, whose list of windows the Wayland checks of the profiles for programs read.
test_pkgs=(libgtest-dev libgmock-dev xvfb xauth x11-utils dbus-daemon libglib2.0-bin systemd openbox bash-completion
           dpkg-dev file lintian appstream desktop-file-utils weston qt6-wayland sway)
# The Windows build: MinGW-w64's compiler with the posix thread model, GoogleTest's sources to build
# for it, Wine to run its tests, and Xvfb for the Wine windows of the foreground watch's test.
windows_pkgs=(g++-mingw-w64-x86-64-posix googletest wine wine64 ccache xvfb xauth)

want=("${build_pkgs[@]}")
case "${1:-test}" in
  run) want+=("${run_pkgs[@]}") ;;
  test) want+=("${test_pkgs[@]}") ;;
  package) want+=("${package_pkgs[@]}") ;;
  windows) want=(cmake ninja-build "${windows_pkgs[@]}") ;;
  *) echo "usage: $0 [run|test|package|windows]" >&2; exit 2 ;;
esac

missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
