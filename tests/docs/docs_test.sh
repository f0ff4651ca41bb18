#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The manual page lists every command and option the tool has, and the bash completion offers them.
# Usage: docs_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source_dir=$2
ctl=$build/bin/krv-glyde-ctl
fail=0

page=$(zcat "$build/docs/man/krv-glyde-ctl.1.gz" | sed -e 's/\\f[BIRP]//g' -e 's/\\-/-/g')
# Every command of --help: the words before the arguments, e.g. "profile show".
while read -r line; do
    words=$(sed -E 's/^ *([a-z-]+( [a-z]+)?).*/\1/' <<<"$line")
    grep -qF -- "$words" <<<"$page" || { echo "man page lacks the command: $words"; fail=1; }
done < <("$ctl" --help | sed -n '/^commands:/,/^exit status/p' | sed '1d;$d')
for option in --dir --simulate --verbose --help --version; do
    grep -qF -- "$option" <<<"$page" || { echo "man page lacks the option: $option"; fail=1; }
done
zcat "$build/docs/man/krv-glyde.1.gz" | sed 's/\\-/-/g' > "$build/krv-glyde.1.txt"
for option in --tray --verbose QT_LOGGING_RULES ApplyProfile CurrentProfile KrvGlyde1 PropertiesChanged; do
    grep -qF -- "$option" "$build/krv-glyde.1.txt" || { echo "krv-glyde(1) lacks $option"; fail=1; }
done

complete_line() { # the completions offered after the given words (the last one being typed)
    bash -c '
        source /usr/share/bash-completion/bash_completion
        source "$0"
        COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
        _krv_glyde_ctl krv-glyde-ctl "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
        echo "${COMPREPLY[*]}"' "$source_dir/data/completion/krv-glyde-ctl" "$@"
}
check() { # words... expected
    local expected=${*: -1} got
    got=$(complete_line "${@:1:$#-1}")
    [ "$got" = "$expected" ] || { echo "completion of '${*:1:$#-1}': '$got', expected '$expected'"; fail=1; }
}
check krv-glyde-ctl pro "profile"
check krv-glyde-ctl profile "" "show import export"
check krv-glyde-ctl --simulate macro "" "list show import export"
check krv-glyde-ctl --dir /tmp autostart s "status"
check krv-glyde-ctl --ver "--verbose --version"
# apply takes the five profiles only; profile show also the sixth, the settings last sent.
check krv-glyde-ctl apply "" "1 2 3 4 5"
check krv-glyde-ctl --simulate apply 6 ""
check krv-glyde-ctl profile show "" "1 2 3 4 5 6"
check krv-glyde-ctl app-profile "" "list add remove default on off"
check krv-glyde-ctl app-profile add steam "" "1 2 3 4 5"
check krv-glyde-ctl app-profile default "" "1 2 3 4 5 stay"
exit $fail
