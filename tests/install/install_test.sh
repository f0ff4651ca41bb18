#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# What `cmake --install` leaves behind, checked in a scratch DESTDIR: the programs in lib/krv-glyde,
# the shipped data in share/krv-glyde, links in bin/ that work, the desktop entry and the udev rule; the
# installed tool reads its data in share and saves into the user's folder; a second install brings the
# shipped data up to date and leaves the user's files alone.
#   install_test.sh BUILD_DIR
set -euo pipefail
build=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

install() { DESTDIR=$root cmake --install "$build" --prefix /usr >"$root/install.log" 2>&1 || { cat "$root/install.log"; fail "cmake --install"; }; }
install

app=$root/usr/lib/krv-glyde
data=$root/usr/share/krv-glyde
[ -x "$app/krv-glyde-ctl" ] || fail "missing $app/krv-glyde-ctl"
for f in config.ini Macro_EN.dat Macro_CN.dat skins/main_mask.jpg skins/fonts.conf skins/INI_EN/defMacro.dat \
         skins/INI_CN/skin_main.ini; do
  [ -f "$data/$f" ] || fail "missing $data/$f"
done
extra=$(find "$app" -mindepth 1 ! -name krv-glyde ! -name krv-glyde-ctl ! -name krv-glyde-demo)
[ -z "$extra" ] || fail "$app holds more than the programs: $extra"
[ -f "$root/usr/lib/udev/rules.d/70-krv-glyde.rules" ] || fail "no udev rule"
if [ -e "$app/krv-glyde" ]; then
  grep -q '^Exec=krv-glyde$' "$root/usr/share/applications/io.github.krv_glyde.KrvGlyde.desktop" || fail "no desktop entry"
  [ "$(readlink -f "$root/usr/bin/krv-glyde")" = "$(readlink -f "$app/krv-glyde")" ] || fail "bin/krv-glyde"
  grep -q '<interface name="io.github.krv_glyde.KrvGlyde1">' \
    "$root/usr/share/dbus-1/interfaces/io.github.krv_glyde.KrvGlyde1.xml" || fail "no D-Bus interface description"
fi

# The link runs the program in its own folder; it reads the shipped data in share/krv-glyde and keeps
# the user's files in the user's folder, even though it could write beside itself here.
export HOME=$root/home XDG_CONFIG_HOME=$root/home/.config XDG_DATA_HOME=$root/home/.local/share
mkdir -p "$HOME"
(cd "$root/usr" && find lib share -type f -exec sha256sum {} + | sort -k2) >"$root/installed.sums"
out=$("$root/usr/bin/krv-glyde-ctl" profile show 1) || fail "krv-glyde-ctl through its link"
[ "$(head -1 <<<"$out")" = "K1=1" ] || fail "profile show through the link printed: $(head -1 <<<"$out")"
"$root/usr/bin/krv-glyde-ctl" --simulate apply 3 >/dev/null || fail "krv-glyde-ctl --simulate apply 3"
own=$XDG_CONFIG_HOME/krv-glyde
grep -q '^CurConfig=3' "$own/config.ini" || fail "the apply was not saved in $own"
cmp -s "$data/Macro_EN.dat" "$own/Macro_EN.dat" || fail "the user's macro file is not a copy of the shipped one"
(cd "$root/usr" && find lib share -type f -exec sha256sum {} + | sort -k2) | cmp -s - "$root/installed.sums" ||
  fail "the program changed or added files in the installed folders"

# A new install brings the shipped data up to date and leaves the user's files alone.
cp "$own/config.ini" "$root/saved.ini"
echo stale >"$data/skins/INI_EN/defMacro.dat"
install
cmp -s "$own/config.ini" "$root/saved.ini" || fail "a new install changed the user's config.ini"
grep -q 'macroNum' "$data/skins/INI_EN/defMacro.dat" || fail "a new install left a stale skin file"
echo PASS
