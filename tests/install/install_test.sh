#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# What `cmake --install` leaves behind, checked in a scratch DESTDIR: the programs beside their data,
# links in bin/ that work, the desktop entry and the udev rule; a second install keeps the user's
# files and updates the rest.
#   install_test.sh BUILD_DIR
set -euo pipefail
build=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

install() { DESTDIR=$root cmake --install "$build" --prefix /usr >"$root/install.log" 2>&1 || { cat "$root/install.log"; fail "cmake --install"; }; }
install

app=$root/usr/lib/krv-glyde
[ -d "$app" ] || app=$(dirname "$(find "$root/usr/lib" -name krv-glyde-ctl -type f | head -1)")
for f in krv-glyde-ctl config.ini Macro_EN.dat Macro_CN.dat skins/main_mask.jpg skins/INI_EN/defMacro.dat; do
  [ -e "$app/$f" ] || fail "missing $app/$f"
done
[ -f "$root/usr/lib/udev/rules.d/70-krv-glyde.rules" ] || fail "no udev rule"
if [ -e "$app/krv-glyde" ]; then
  grep -q '^Exec=krv-glyde$' "$root/usr/share/applications/io.github.krv_glyde.KrvGlyde.desktop" || fail "no desktop entry"
  [ "$(readlink -f "$root/usr/bin/krv-glyde")" = "$(readlink -f "$app/krv-glyde")" ] || fail "bin/krv-glyde"
  grep -q '<interface name="io.github.krv_glyde.KrvGlyde1">' \
    "$root/usr/share/dbus-1/interfaces/io.github.krv_glyde.KrvGlyde1.xml" || fail "no D-Bus interface description"
fi

# The link runs the program in its own folder.
out=$("$root/usr/bin/krv-glyde-ctl" profile show 1) || fail "krv-glyde-ctl through its link"
[ "$(head -1 <<<"$out")" = "K1=1" ] || fail "profile show through the link printed: $(head -1 <<<"$out")"

# A user's saves survive a new install; shipped data that is not the user's is brought up to date.
printf '; saved by the user\r\n' >>"$app/config.ini"
cp "$app/config.ini" "$root/saved.ini"
echo stale >"$app/skins/INI_EN/defMacro.dat"
install
cmp -s "$app/config.ini" "$root/saved.ini" || fail "a new install replaced the user's config.ini"
grep -q 'macroNum' "$app/skins/INI_EN/defMacro.dat" || fail "a new install left a stale skin file"
echo PASS
