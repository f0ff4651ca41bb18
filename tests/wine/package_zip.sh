#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Windows zip as a user gets it: made by CPack into a scratch folder, unpacked, and then
#  - every DLL that a program, DLL or plugin of the folder imports is in the folder or the system's;
#  - the folder holds what the window needs: skin images, fonts and their licences, config.ini and the
#    macro files, the platform and JPEG plugins, the icons, the licence;
#  - the programs start under Wine: the companion and the tool say their version, and the demo draws
#    its three pages at the skin's size (offscreen) from the unpacked folder.
#   package_zip.sh BUILD_DIR OBJDUMP WINE VERSION
set -euo pipefail
build=$1 objdump=$2 wine=$3 version=$4
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G ZIP -B "$scratch/out" >"$scratch/cpack.log" 2>&1) || { cat "$scratch/cpack.log"; fail "cpack -G ZIP"; }
zip=$scratch/out/krv-glyde-$version-windows-x64.zip
[ -f "$zip" ] || fail "no $zip"
mkdir "$scratch/unpacked"
(cd "$scratch/unpacked" && cmake -E tar xf "$zip")
dir=$scratch/unpacked/krv-glyde-$version-windows-x64
[ -d "$dir" ] || fail "the zip holds no folder krv-glyde-$version-windows-x64"

for file in krv-glyde.exe krv-glyde-demo.exe krv-glyde-ctl.exe Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll \
            libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll platforms/qwindows.dll \
            platforms/qoffscreen.dll imageformats/qjpeg.dll styles/qwindowsvistastyle.dll config.ini \
            Macro_EN.dat Macro_CN.dat skins/main_normal.jpg skins/main_mask.jpg skins/INI_EN/skin_main_en.ini \
            skins/INI_CN/skin_main.ini skins/fonts/LiberationSans-Regular.ttf skins/fonts/wqy-zenhei.ttc \
            skins/fonts/fonts-liberation.copyright LICENSE.txt; do
  [ -f "$dir/$file" ] || fail "the zip lacks $file"
done
[ ! -e "$dir/Qt6Test.dll" ] || fail "the zip holds Qt6Test.dll, which only the tests use"
ls "$dir"/icons/hicolor/*/apps/*.png >/dev/null 2>&1 || fail "the zip holds no icon"

# The system's DLLs are those of the Wine prefix (wine makes one file for each DLL it provides).
system32=${WINEPREFIX:?}/drive_c/windows/system32
[ -d "$system32" ] || "$wine" wineboot --init >/dev/null 2>&1
missing=0
while IFS= read -r -d '' binary; do
  while read -r dll; do
    # API sets are names the system's loader maps to its own DLLs.
    case "${dll,,}" in api-ms-win-* | ext-ms-*) continue ;; esac
    if [ -z "$(find "$dir" "$system32" -maxdepth 1 -iname "$dll" -print -quit)" ]; then
      echo "$(basename "$binary") imports $dll, which is neither in the folder nor the system's" >&2
      missing=1
    fi
  done < <("$objdump" -p "$binary" | sed -n 's/^\s*DLL Name: //p')
done < <(find "$dir" \( -iname '*.exe' -o -iname '*.dll' \) -print0)
[ "$missing" -eq 0 ] || fail "DLLs missing"

cd "$dir"
out=$("$wine" ./krv-glyde-ctl.exe --version 2>&1 | tr -d '\r') || fail "krv-glyde-ctl.exe --version: $out"
[ "$out" = "krv-glyde-ctl $version" ] || fail "krv-glyde-ctl.exe --version said: $out"
out=$("$wine" ./krv-glyde.exe --version 2>&1 | tr -d '\r') || fail "krv-glyde.exe --version: $out"
[ "$out" = "krv-glyde $version" ] || fail "krv-glyde.exe --version said: $out"
# Wine gives the program no QT_* variable of ours but WINEQT_* ones, renamed.
WINEQT_QPA_PLATFORM=offscreen "$wine" ./krv-glyde-demo.exe --screenshots "$scratch/shots" >"$scratch/demo.log" 2>&1 ||
  { cat "$scratch/demo.log"; fail "the demo did not save its screenshots"; }
for page in main advanced color; do
  shot=$scratch/shots/krv-glyde-$page.png
  info=$(file -b "$shot" 2>&1) || fail "no $shot"
  case "$info" in
    "PNG image data, 840 x 560"*) ;;
    *) fail "krv-glyde-$page.png: $info (the skin is 840 x 560)" ;;
  esac
done
# The demo wrote its user files beside itself (the unpacked folder is the user's own).
[ -f "$dir/config.ini" ] && [ -f "$dir/Macro_CN.dat" ] || fail "the user's files are gone"
echo "PASS: the zip unpacks, its DLLs are all there, the programs start and the demo draws its pages"
