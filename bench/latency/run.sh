#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs the latency benchmark with everything it compares: sets up its packages, then runs it on a
# fresh Xvfb of its own. Usage: bench/latency/run.sh [BUILD_DIR] [latency_bench options...]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../../build}"
shift || true
"$here/setup.sh"
cmake --build "$build" --target latency_bench >/dev/null
exec xvfb-run -a -s "-screen 0 640x480x24 -noreset" "$build/bin/latency_bench" "$@"
