#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Configures and builds one build folder: scripts/build.sh DIR [cmake options...]
# Compiles through ccache when it is installed; the cache is keyed relative to the checkout, so a
# fresh clone of the same sources reuses what an earlier build compiled.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$1
shift
launcher=()
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$dir" -G Ninja -Wno-dev "${launcher[@]}" "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
