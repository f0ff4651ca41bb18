#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Every source, build and script file of the project says its licence in its first lines.
# Usage: licence_test.sh SOURCE_DIR
set -euo pipefail
cd "$1"
missing=0
while IFS= read -r -d '' file; do
    head -n 3 "$file" | grep -q 'SPDX-License-Identifier: MIT' || { echo "no licence line: $file"; missing=1; }
done < <(find src tests bench tools scripts .ci data/completion CMakeLists.txt cmake docs/man \
              -path tests/fuzz/corpus -prune -o -path tests/data -prune -o \
              -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' -o -name '*.sh' -o -name 'CMakeLists.txt' \
                         -o -name '*.cmake' -o -path '.ci/run' -o -path 'data/completion/*' \) -print0)
exit $missing
