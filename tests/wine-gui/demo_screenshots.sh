#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The demo built for Windows, run under Wine with Qt's windows platform, draws the same window as the
# Linux build: both save their pictures of the three pages and the virtual mouse (--screenshots), in
# each language, and every Windows picture must match the Linux one (wine_gui_compare: the same size,
# differing only in a small share of pixels, where the fonts are rasterised differently).
#   demo_screenshots.sh LINUX_DEMO WINDOWS_DEMO_EXE COMPARE_EXE WINE OUTPUT_DIR
# The Linux demo runs with its shipped files (the folder of LINUX_DEMO), the Windows one with the
# Windows build's folder; each from a copy of its own, with the language set in config.ini. Each runs
# on an Xvfb display of its own; the Windows one in a Wine prefix of its own (OUTPUT_DIR/wine-prefix,
# made at the first run), whose server is ended before its display. OUTPUT_DIR keeps the pictures:
# <language>/linux, <language>/windows and <language>/difference.
# KRV_XVFB_FIRST_DISPLAY: the first display number to try (xvfb-run -n), 99 unless set.
set -uo pipefail
linux_demo=$(realpath "$1")
windows_demo=$(realpath "$2")
compare=$(realpath "$3")
wine=$4
out=$5
first_display=${KRV_XVFB_FIRST_DISPLAY:-99}

# The share of pixels that may differ, per picture: Wine's font rasteriser and the X11 build's draw the
# same glyphs with other anti-aliasing and hinting, while the skin's images are the same pixels. Measured
# under Wine 8.0, English / Chinese: main 2.35 / 2.59 %, color 1.97 / 2.23 %, advanced 3.94 / 4.31 % (the
# page with the most text); each bound stands just above the larger. A missing or moved element, another
# page or a widget in the system's style differs in more, or in the size. The virtual mouse is almost
# all text (8.92 %, in one font on both since it names its own).
declare -A share_bound=([main]=0.027 [color]=0.024 [advanced]=0.045 [virtual-mouse]=0.095)
# How long a demo may take in all, however loaded the machine (it bounds its own wait at a minute).
bound=180

rm -rf "$out"
mkdir -p "$out"
out=$(realpath "$out")
prefix=$(dirname "$out")/wine-prefix
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A program folder of its own: the program and its shipped files. Large files (the Qt DLLs, the
# fonts) are linked; config.ini and the macro files, which the program writes, are copies.
program_folder() {
  local from=$1 program=$2 to=$3 language_flag=$4
  mkdir -p "$to"
  local entry
  for entry in "$from"/*; do
    case "$(basename "$entry")" in
      config.ini | Macro_*.dat) cp "$entry" "$to/" ;;
      skins)
        mkdir -p "$to/skins"
        local part
        for part in "$entry"/*; do
          if [ "$(basename "$part")" = fonts ]; then ln -s "$part" "$to/skins/"; else cp -r "$part" "$to/skins/"; fi
        done
        ;;
      *.dll | platforms | imageformats | styles | iconengines) ln -s "$entry" "$to/" ;;
    esac
  done
  # A program finds its folder from its own path: the program is a copy (a link would lead back).
  cp "$from/$program" "$to/"
  sed -i "s/^VER_SEL=.*/VER_SEL=$language_flag/" "$to/config.ini"
}

run_linux() {
  local folder=$1 shots=$2
  QT_QPA_PLATFORM=xcb timeout "$bound" xvfb-run -a -n "$first_display" -s "-screen 0 1280x1024x24 -noreset" \
    "$folder/krv-glyde-demo" --screenshots "$shots" >"$shots.log" 2>&1
}

# Wine makes its windows on the display its prefix's server started with: a prefix of its own, its
# server ended before the display goes.
run_windows() {
  local folder=$1 shots=$2
  (
    # Wine hands the program only WINEQT_* variables of the Unix side, renamed to QT_*.
    export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEQT_QPA_PLATFORM=windows
    cd "$folder" || exit 1
    timeout "$bound" xvfb-run -a -n "$first_display" -s "-screen 0 1280x1024x24 -noreset" \
      sh -c '"$0" "$@"; status=$?; wineserver -k 2>/dev/null; wineserver -w 2>/dev/null; exit $status' \
      "$wine" ./krv-glyde-demo.exe --screenshots "$(basename "$shots")" >"$shots.log" 2>&1
    status=$?
    [ -d "$folder/$(basename "$shots")" ] && mv "$folder/$(basename "$shots")" "$shots"
    exit $status
  )
}

# The prefix is made once, without a display; its server ends with it, so that the demo's server
# starts on the demo's display.
if [ ! -f "$prefix/system.reg" ]; then
  mkdir -p "$prefix"
  WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" "$wine" wineboot --init \
    >"$out/wineboot.log" 2>&1 </dev/null
  WINEPREFIX="$prefix" wineserver -k 2>/dev/null
  WINEPREFIX="$prefix" wineserver -w 2>/dev/null
fi

failures=0
for language in en cn; do
  flag=1
  [ "$language" = cn ] && flag=0
  dir=$out/$language
  mkdir -p "$dir/difference"
  program_folder "$(dirname "$linux_demo")" "$(basename "$linux_demo")" "$work/$language/linux" "$flag"
  program_folder "$(dirname "$windows_demo")" "$(basename "$windows_demo")" "$work/$language/windows" "$flag"
  if ! run_linux "$work/$language/linux" "$dir/linux"; then
    echo "$language: the Linux demo failed:"
    cat "$dir/linux.log"
    failures=$((failures + 1))
    continue
  fi
  run_windows "$work/$language/windows" "$dir/windows"
  status=$?
  if [ "$status" -ne 0 ]; then
    echo "$language: the Windows demo under Wine failed (status $status):"
    cat "$dir/windows.log"
    failures=$((failures + 1))
    continue
  fi
  for picture in main advanced color virtual-mouse; do
    share=${share_bound[$picture]}
    name=krv-glyde-$picture.png
    if ! (cd "$dir" && "$wine" "$compare" "linux/$name" "windows/$name" "difference/$name" "$share"); then
      echo "$language: $picture differs from the Linux build's"
      failures=$((failures + 1))
    fi
  done
done
echo "pictures in $out"
[ "$failures" -eq 0 ]
