#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the Debian packages the build, the program and the tests need, only those missing.
# Usage: scripts/install-deps.sh [run|test|package|windows|windows-gui|qt-windows-dir]
#   windows-gui     also builds Qt for Windows (below) into a cache folder outside the checkout
#   qt-windows-dir  prints that folder when it is complete (status 1 when not), installs nothing
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
# Qt for Windows is built from Debian's own source of the host's Qt (dpkg-source unpacks it), with the
# host's moc, rcc and uic; the installer of the Windows program is made with NSIS.
windows_gui_pkgs=("${windows_pkgs[@]}" dpkg-dev qt6-base-dev qt6-base-dev-tools nsis)

want=("${build_pkgs[@]}")
case "${1:-test}" in
  run) want+=("${run_pkgs[@]}") ;;
  test) want+=("${test_pkgs[@]}") ;;
  package) want+=("${package_pkgs[@]}") ;;
  windows) want=(cmake ninja-build "${windows_pkgs[@]}") ;;
  windows-gui) want=(cmake ninja-build "${windows_gui_pkgs[@]}") ;;
  qt-windows-dir) want=() ;;
  *) echo "usage: $0 [run|test|package|windows|windows-gui|qt-windows-dir]" >&2; exit 2 ;;
esac

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive

missing=()
for p in ${want[@]+"${want[@]}"}; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
case "${1:-test}" in windows-gui | qt-windows-dir) ;; *) exit 0 ;; esac

# Qt for Windows: qtbase of the host's Qt version, cross-built with the project's MinGW-w64 toolchain
# and reduced to what the window needs. It lands in a cache folder named after the version and a
# short hash of the options, the toolchain and the patches, so a change of any of them builds anew
# beside the old one. The folder appears whole or not at all: the build runs in a temporary folder
# and the finished tree is moved into place with its completion mark. Set KRV_QT_CACHE to choose the
# cache's place.
cd "$(dirname "$0")/.."
repo=$PWD
qt_version=$(dpkg-query -W -f='${source:Version}' qt6-base-dev 2>/dev/null) || exit 1
qt_options=(
  -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF -DQT_BUILD_MANUAL_TESTS=OFF
  # The modules: Core, Gui, Widgets and Test; Gui keeps OpenGL (the windows platform plugin does not
  # compile without it), resolved at run time, so that no GPU driver is needed.
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF
  -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_testlib=ON
  -DFEATURE_opengl=ON -DFEATURE_opengl_dynamic=ON -DFEATURE_vulkan=OFF
  # The platform plugins windows and offscreen; the skin's images are JPEG and PNG (libpng and
  # libjpeg as Qt bundles them), its icon ICO.
  -DFEATURE_png=ON -DFEATURE_system_png=OFF -DFEATURE_jpeg=ON -DFEATURE_system_jpeg=OFF
  -DFEATURE_ico=ON -DFEATURE_gif=OFF
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF
  -DFEATURE_system_freetype=OFF -DFEATURE_system_doubleconversion=OFF
  -DFEATURE_sql_sqlite=OFF -DFEATURE_glib=OFF -DFEATURE_icu=OFF
)
qt_patches=("$repo"/scripts/qt-windows-patches/*.patch)
[ -e "${qt_patches[0]}" ] || qt_patches=()
qt_hash=$( { printf '%s\n' "$qt_version" "${qt_options[@]}"; cat cmake/mingw-w64-x86_64.cmake "${qt_patches[@]}"; } |
          sha256sum | cut -c1-10)
cache=${KRV_QT_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/krv-glyde}
qt_dir=$cache/qt-${qt_version%%+*}-mingw-$qt_hash
if [ "$1" = qt-windows-dir ]; then
  [ -f "$qt_dir/.complete" ] || exit 1
  echo "$qt_dir"
  exit 0
fi
[ -f "$qt_dir/.complete" ] && exit 0

mkdir -p "$cache"
exec 9>"$cache/qt-build.lock"
flock 9
[ -f "$qt_dir/.complete" ] && exit 0

# Debian's source packages are reached through a deb-src entry for bookworm: one of the project's
# own, in the deb822 form of the machine's other sources, when apt has none.
if ! grep -rqsE '^(deb-src|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  echo "Adding Debian's source packages to apt (/etc/apt/sources.list.d/krv-glyde-deb-src.sources)"
  $SUDO tee /etc/apt/sources.list.d/krv-glyde-deb-src.sources >/dev/null <<'SOURCES'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
  $SUDO apt-get update -qq
fi

work=$(mktemp -d "$cache/qt-build.XXXXXX")
trap 'rm -rf "$work"' EXIT
log=$cache/qt-build.log
: >"$log"
# Each step's output goes to the log; the first that fails ends the build, and the cache folder is
# not made.
step() {
  echo "== $(date -u +%FT%TZ) $*" >>"$log"
  "$@" >>"$log" 2>&1 || {
    echo "Building Qt for Windows failed at: $*; see $log" >&2
    tail -n 20 "$log" >&2
    exit 1
  }
}
echo "Building Qt $qt_version for Windows into $qt_dir (log: $log)"
(cd "$work" && step apt-get source --download-only "qt6-base=$qt_version" && step dpkg-source -x qt6-base_*.dsc src)
for patch in "${qt_patches[@]}"; do
  step patch -d "$work/src" -p1 -i "$patch"
done
launcher=()
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR=$work CCACHE_NOHASHDIR=1 CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
step cmake -S "$work/src" -B "$work/build" -G Ninja -Wno-dev "${launcher[@]}" \
  -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64-x86_64.cmake" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DCMAKE_INSTALL_PREFIX="$qt_dir" "${qt_options[@]}"
step cmake --build "$work/build" -j "$(nproc)"
step env DESTDIR="$work/stage" cmake --install "$work/build"
date -u +%FT%TZ >"$work/stage$qt_dir/.complete"
rm -rf "$qt_dir"
mv "$work/stage$qt_dir" "$qt_dir"
echo "== $(date -u +%FT%TZ) done: $(du -sh "$qt_dir" | cut -f1)" >>"$log"
