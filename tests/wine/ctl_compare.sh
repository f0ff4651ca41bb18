#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The command-line tool built for Windows, run under Wine, against the Linux build of the same source:
# every command line of the table runs on the simulated mouse in a fresh copy of the shipped files,
# once with each program, and must give the same standard output, standard error, exit status and
# the same files afterwards.
#   ctl_compare.sh LINUX_CTL WINDOWS_CTL_EXE SHIPPED_DATA_DIR [WINE]
# The Windows build writes paths with backslashes ("d\config.ini"): they are compared as slashes.
# Its help names %APPDATA%\krv-glyde where the Linux help names ~/.config/krv-glyde.
set -uo pipefail
# The commands run in folders of their own: the programs are named by absolute paths.
linux_ctl=$(realpath "$1")
windows_ctl=$(realpath "$2")
data=$(realpath "$3")
wine=${4:-wine}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One command line per entry; words are split on spaces (no case needs a space inside a word).
cases=(
  "--version"
  "--help"
  "help profile"
  "help macro"
  ""
  "frobnicate"
  "--frobnicate status"
  "profile"
  "--dir"
  "profile show"
  "profile show 3"
  "profile show 9"
  "profile show x"
  "status"
  "status now"
  "apply"
  "apply 2"
  "apply 5"
  "apply 6"
  "apply 1 2"
  "macro list"
  "macro show 0"
  "macro show 2"
  "macro show 99"
  "macro export macros.dat"
  "macro import missing.dat"
  "macro import config.ini"
  "profile export exchange.ini 2"
  "profile export exchange-ü-名前.ini"
  "profile import missing.ini"
  "profile import config.ini"
  "profile import Macro_EN.dat 1"
  "profile import exchange-in.ini 4"
  "profile import exchange-in.ini"
  "macro import exchange-in.ini"
  "macro import Macro_CN.dat"
  "restore-defaults"
  "-- apply"
  "--dir=nowhere status"
)

# The shipped user files and default macros, and a profile exchange file (profile 3, exported by the
# Linux build) to import.
seed=$work/seed
mkdir -p "$seed/skins/INI_EN" "$seed/skins/INI_CN"
cp "$data/config.ini" "$data/Macro_EN.dat" "$data/Macro_CN.dat" "$seed/"
cp "$data/skins/INI_EN/defMacro.dat" "$seed/skins/INI_EN/"
cp "$data/skins/INI_CN/defMacro.dat" "$seed/skins/INI_CN/"
"$linux_ctl" --dir "$seed" profile export "$seed/exchange-in.ini" 3 >/dev/null || exit 1
rm -f "$seed"/.*.lock

fresh_folder() {
  mkdir -p "$1"
  cp -r "$seed/." "$1/"
}

# Every file of a folder with its bytes, the program's lock files left out.
folder_listing() {
  (cd "$1" && find . -type f ! -name '.*.lock' | LC_ALL=C sort | while read -r f; do
     printf '== %s\n' "$f"; od -An -tx1 "$f"; done)
}

# The Windows prefix is made before the first case, so that its creation messages stay out of them.
"$wine" "$windows_ctl" --version >/dev/null 2>&1

failures=0
n=0
for line in "${cases[@]}"; do
  n=$((n + 1))
  read -r -a words <<<"$line"
  for side in linux windows; do
    dir="$work/$n/$side"
    fresh_folder "$dir/files"
    if [ "$side" = linux ]; then
      (cd "$dir/files" && "$linux_ctl" --simulate --dir . "${words[@]}" >"$dir/out" 2>"$dir/err")
    else
      (cd "$dir/files" && "$wine" "$windows_ctl" --simulate --dir . "${words[@]}" >"$dir/out" 2>"$dir/err")
    fi
    echo $? >"$dir/status"
    folder_listing "$dir/files" >"$dir/files.txt"
  done
  # The intended differences: the path separator and the help's user folder.
  for f in out err; do
    sed -e 's|\\|/|g' -e 's|%APPDATA%/krv-glyde|~/.config/krv-glyde|' "$work/$n/windows/$f" >"$work/$n/windows/$f.cmp"
  done
  ok=1
  cmp -s "$work/$n/linux/out" "$work/$n/windows/out.cmp" || ok=0
  cmp -s "$work/$n/linux/err" "$work/$n/windows/err.cmp" || ok=0
  cmp -s "$work/$n/linux/status" "$work/$n/windows/status" || ok=0
  cmp -s "$work/$n/linux/files.txt" "$work/$n/windows/files.txt" || ok=0
  if [ $ok = 1 ]; then
    echo "same: krv-glyde-ctl $line (exit $(cat "$work/$n/linux/status"))"
  else
    failures=$((failures + 1))
    echo "DIFFERENT: krv-glyde-ctl $line"
    diff -u --label "linux status" --label "windows status" "$work/$n/linux/status" "$work/$n/windows/status"
    for f in out err; do
      diff -u --label "linux $f" --label "windows $f" "$work/$n/linux/$f" "$work/$n/windows/$f.cmp"
    done
    diff -u --label "linux files" --label "windows files" "$work/$n/linux/files.txt" "$work/$n/windows/files.txt" | head -40
  fi
done
echo "$((n - failures)) of $n command lines give the same result"
[ $failures = 0 ]
