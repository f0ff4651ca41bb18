#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Debian package as a user and a distribution get it: built by CPack, its control data and file
# list checked against the layout it promises (programs in /usr/lib/krv-glyde, the shipped data in
# /usr/share/krv-glyde), lintian without errors and without its hardening tags (its other warnings and
# notes are printed), the metainfo and the desktop entry validated with their Chinese texts, and the
# unpacked programs run.
#   package_test.sh BUILD_DIR VERSION APP_ID
set -euo pipefail
build=$(cd "$1" && pwd)
version=$2
id=$3
arch=$(dpkg --print-architecture)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
for tool in cpack dpkg-deb dpkg-shlibdeps file lintian appstreamcli desktop-file-validate; do
  command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/install-deps.sh test installs it)"
done

(cd "$scratch" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out") >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log"; fail "cpack"; }
deb=$scratch/out/krv-glyde_${version}_${arch}.deb
[ -f "$deb" ] || { ls -R "$scratch/out" | head -20; fail "no $deb"; }

# --- Control data.
info=$(dpkg-deb -I "$deb")
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = krv-glyde ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
depends=$(field Depends)
# The libraries come from the programs (shlibdeps: libfontconfig1 only when the build found fontconfig,
# which loads the skin's font aliases); fonts and the platform plugin are named by hand.
for dep in libqt6widgets6 libqt6gui6 libqt6core6 libqt6network6 libqt6dbus6 libhidapi-hidraw0 libudev1 libsystemd0 libxtst6 \
           libc6 libfontconfig1 fontconfig fonts-liberation fonts-wqy-zenhei qt6-qpa-plugins; do
  grep -qE "(^|, )$dep( |,|$)" <<<"$depends" || fail "Depends lacks $dep: $depends"
done
grep -q '^ *[0-9]* bytes, *[0-9]* lines *\* *postinst ' <<<"$info" || fail "no executable postinst: $info"
! grep -qE ' (prerm|postrm|preinst) ' <<<"$info" || fail "a removal script, which could touch the users' files: $info"

# --- File list: what must be there, and nothing outside the places a package may use.
dpkg-deb -c "$deb" >"$scratch/contents"
paths=$(awk '{ p = $6; sub(/^\.\//, "/", p); print p }' "$scratch/contents")
app=/usr/lib/krv-glyde
data=/usr/share/krv-glyde
required=(
  $app/krv-glyde $app/krv-glyde-ctl $app/krv-glyde-demo
  $data/config.ini $data/Macro_EN.dat $data/Macro_CN.dat
  $data/skins/main_mask.jpg $data/skins/fonts.conf $data/skins/INI_EN/defMacro.dat $data/skins/INI_CN/defMacro.dat
  $data/skins/INI_EN/skin_main_en.ini $data/skins/INI_CN/skin_main.ini
  /usr/bin/krv-glyde /usr/bin/krv-glyde-ctl
  /usr/lib/udev/rules.d/70-krv-glyde.rules
  /usr/share/doc/krv-glyde/examples/71-krv-glyde-uinput.rules
  /usr/share/applications/$id.desktop
  /usr/share/metainfo/$id.metainfo.xml
  /usr/share/dbus-1/interfaces/io.github.krv_glyde.KrvGlyde1.xml
  /usr/share/icons/hicolor/scalable/apps/$id.svg
  /usr/share/doc/krv-glyde/copyright /usr/share/doc/krv-glyde/changelog.gz
)
for size in 16 22 24 32 48 64 128 256; do required+=(/usr/share/icons/hicolor/${size}x${size}/apps/$id.png); done
for p in "${required[@]}"; do grep -qxF "$p" <<<"$paths" || fail "missing $p"; done
# /usr/lib/krv-glyde holds the programs only: everything the same on every architecture is in /usr/share.
allowed='^/(|usr/|usr/bin/(krv-glyde(-ctl)?)?|usr/lib/|usr/lib/krv-glyde/(krv-glyde(-ctl|-demo)?)?|usr/lib/udev/|usr/lib/udev/rules\.d/|usr/lib/udev/rules\.d/70-krv-glyde\.rules|usr/share/|usr/share/(krv-glyde|applications|metainfo|icons|man|bash-completion|dbus-1)/.*|usr/share/doc/|usr/share/doc/krv-glyde/.*)$'
stray=$(grep -vE "$allowed" <<<"$paths" || true)
[ -z "$stray" ] || fail "files outside the package's places: $stray"
grep -E '/usr/share/man/' <<<"$paths" | grep -vqE '^/usr/share/man/(man1/)?$|^/usr/share/man/man1/[^/]+\.1\.gz$' &&
  fail "a man page outside man1 or not compressed"
owners=$(awk '{ print $2 }' "$scratch/contents" | sort -u)
[ "$owners" = root/root ] || fail "owners: $owners"
grep -qE '^l.* \./usr/bin/krv-glyde-ctl -> \.\./lib/krv-glyde/krv-glyde-ctl$' "$scratch/contents" ||
  fail "/usr/bin/krv-glyde-ctl is not a relative link into $app: $(grep 'usr/bin/krv-glyde-ctl' "$scratch/contents")"
grep -qE '^-rwxr-xr-x .* \./usr/lib/krv-glyde/krv-glyde$' "$scratch/contents" || fail "krv-glyde is not 0755"

# --- Lintian: no errors; warnings and the rest are printed for the record.
rc=0
lintian --fail-on error --tag-display-limit 0 --display-info "$deb" >"$scratch/lintian" 2>&1 || rc=$?
cat "$scratch/lintian"
! grep -q '^E: ' "$scratch/lintian" || fail "lintian errors"
[ "$rc" -eq 0 ] || fail "lintian exited with status $rc"
# Built with Debian's hardening flags (bind now, fortified calls, ...) and stripped as Debian strips.
! grep -E ' (hardening-[a-z-]+|binary-has-unneeded-section) ' "$scratch/lintian" ||
  fail "lintian: the programs are not hardened or not stripped as Debian's"

# --- Unpacked: the metadata validates, and the programs run from the unpacked tree.
root=$scratch/root
dpkg-deb -x "$deb" "$root"
appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml" || fail "appstreamcli validate"
desktop-file-validate "$root/usr/share/applications/$id.desktop" || fail "desktop-file-validate"
grep -qx "Icon=$id" "$root/usr/share/applications/$id.desktop" || fail "the desktop entry's icon is not $id"
grep -qx "Exec=krv-glyde" "$root/usr/share/applications/$id.desktop" || fail "the desktop entry's Exec"
grep -q "<id>$id</id>" "$root/usr/share/metainfo/$id.metainfo.xml" || fail "the metainfo's id is not $id"
grep -q '<modalias>usb:v18F8p0F99\*</modalias>' "$root/usr/share/metainfo/$id.metainfo.xml" || fail "no modalias"
# The program speaks Chinese: so do its menu entry and its software-centre page.
for key in Name Comment Keywords; do
  grep -qE "^$key\[zh_CN\]=.+" "$root/usr/share/applications/$id.desktop" || fail "the desktop entry has no $key[zh_CN]"
done
for element in name summary p keyword caption; do
  grep -qE "<$element xml:lang=\"zh-CN\">" "$root/usr/share/metainfo/$id.metainfo.xml" ||
    fail "the metainfo has no Chinese <$element>"
done
for size in 16 22 24 32 48 64 128 256; do
  file "$root/usr/share/icons/hicolor/${size}x${size}/apps/$id.png" | grep -q "PNG image data, $size x $size," ||
    fail "the ${size}px icon: $(file "$root/usr/share/icons/hicolor/${size}x${size}/apps/$id.png")"
done
grep -q '<svg ' "$root/usr/share/icons/hicolor/scalable/apps/$id.svg" || fail "the scalable icon is no SVG"
grep -qx 'License: MIT' "$root/usr/share/doc/krv-glyde/copyright" || fail "the copyright file names no MIT licence"

# One version everywhere: the package, the program, the metainfo's newest release, the changelog.
export HOME=$scratch/home XDG_DATA_HOME=$scratch/home/.local/share XDG_CONFIG_HOME=$scratch/home/.config
mkdir -p "$HOME"
out=$("$root/usr/bin/krv-glyde-ctl" --version) || fail "krv-glyde-ctl --version"
[ "$out" = "krv-glyde-ctl $version" ] || fail "krv-glyde-ctl --version printed: $out"
newest=$(grep -o '<release version="[^"]*"' "$root/usr/share/metainfo/$id.metainfo.xml" | head -1)
[ "$newest" = "<release version=\"$version\"" ] || fail "the metainfo's newest release: $newest"
top=$(zcat "$root/usr/share/doc/krv-glyde/changelog.gz" | head -1)
[ "$top" = "krv-glyde ($version) unstable; urgency=medium" ] || fail "the changelog's top entry: $top"

# The unpacked programs read the shipped data in usr/share/krv-glyde and save into the user's folder,
# never into the package's files.
(cd "$root" && find . -type f -exec sha256sum {} + | sort -k2) >"$scratch/unpacked.sums"
out=$("$root/usr/bin/krv-glyde-ctl" --simulate apply 3) || fail "krv-glyde-ctl --simulate apply 3"
[ -n "$out" ] && ! grep -qvE '^[0-9a-f]{2}( [0-9a-f]{2})*$' <<<"$out" ||
  fail "--simulate apply printed other than feature reports in hex: $out"
grep -q '^CurConfig=3' "$XDG_CONFIG_HOME/krv-glyde/config.ini" || fail "the apply was not saved in the user's folder"
out=$("$root/usr/bin/krv-glyde-ctl" profile show 1) || fail "krv-glyde-ctl profile show 1"
[ "$(head -1 <<<"$out")" = "K1=1" ] || fail "profile show 1 printed: $(head -1 <<<"$out")"

# The window program starts from the unpacked tree, finds its skin and draws its pages.
QT_QPA_PLATFORM=offscreen timeout 120 "$root/usr/lib/krv-glyde/krv-glyde-demo" --screenshots "$scratch/shots" \
  >"$scratch/demo.log" 2>&1 || { cat "$scratch/demo.log"; fail "the unpacked krv-glyde-demo"; }
for page in main advanced color; do
  file "$scratch/shots/krv-glyde-$page.png" | grep -q 'PNG image data, 840 x 560,' ||
    fail "the unpacked demo's $page page: $(file "$scratch/shots/krv-glyde-$page.png")"
done
(cd "$root" && find . -type f -exec sha256sum {} + | sort -k2) | cmp -s - "$scratch/unpacked.sums" ||
  fail "the programs changed or added files in the package's folders: $(cd "$root" && find . -newer "$scratch/unpacked.sums")"

# The post-install step calls udevadm only where udev runs (its control socket is there).
mkdir -p "$scratch/fakebin"
printf '#!/bin/sh\necho "udevadm $*" >>"%s"\n' "$scratch/udevadm.log" >"$scratch/fakebin/udevadm"
chmod +x "$scratch/fakebin/udevadm"
dpkg-deb -e "$deb" "$scratch/control"
PATH=$scratch/fakebin:$PATH sh "$scratch/control/postinst" configure || fail "postinst configure"
if [ -S /run/udev/control ]; then
  grep -qx 'udevadm control --reload-rules' "$scratch/udevadm.log" || fail "postinst did not reload the rules"
  grep -qx 'udevadm trigger --subsystem-match=hidraw --action=change' "$scratch/udevadm.log" ||
    fail "postinst did not trigger the hidraw nodes"
else
  [ ! -e "$scratch/udevadm.log" ] || fail "postinst ran udevadm without udev: $(cat "$scratch/udevadm.log")"
fi
echo PASS
