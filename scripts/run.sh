#!/usr/bin/env bash
# Builds the program and runs it. Installs what it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh run
scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWITH_TESTS=OFF -DWITH_BENCH=OFF
build/bin/krv-glyde-ctl profile show
