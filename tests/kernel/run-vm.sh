#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Boots Debian's generic kernel under QEMU (software emulation) with an initramfs that holds busybox,
# the HID and input modules, and the given guest test programs with their shared libraries; runs each
# program in turn inside the guest and reads their PASS/FAIL lines from the serial console.
#
# Usage: tests/kernel/run-vm.sh [--cache DIR] [--work DIR] [--timeout SECONDS] PROGRAM...
#   --cache    where the kernel is kept between runs (default: build/kernel-cache)
#   --work     where the initramfs and the console log are written (default: a temporary folder)
#   --timeout  limit of the whole boot, in seconds (default 600)
#
# Passes when every program ran to its end, exited 0, printed at least one PASS line and no FAIL line,
# and the guest reached its end marker. QEMU itself exits 0 whatever happens in the guest, so nothing
# but the markers is trusted.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
cache=$here/../../build/kernel-cache
work=""
limit=600
while [ $# -gt 0 ]; do
  case "$1" in
    --cache) cache=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    --timeout) limit=$2; shift 2 ;;
    --) shift; break ;;
    -*) echo "run-vm: unknown option $1" >&2; exit 2 ;;
    *) break ;;
  esac
done
[ $# -gt 0 ] || { echo "usage: $0 [--cache DIR] [--work DIR] [--timeout S] PROGRAM..." >&2; exit 2; }

if [ -z "$work" ]; then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
fi
mkdir -p "$work"
work=$(cd "$work" && pwd)

"$here/prepare.sh" "$cache"
# shellcheck disable=SC1091
. "$cache/current.env"
kdir=$KERNEL_DIR
[ -f "$kdir/ready" ] && [ -x "$UDEVADM" ] || { echo "run-vm: kernel or udev not prepared" >&2; exit 1; }

root=$work/rootfs
rm -rf "$root"
mkdir -p "$root"/{bin,dev,proc,sys,tmp,run,tests,lib/modules}
cp /bin/busybox "$root/bin/busybox"
cp "$kdir"/modules/*.ko "$kdir/modules/load-order" "$root/lib/modules/"

# Each program with every shared library it needs, at the path the dynamic loader looks for it.
copy_with_libs() {
  local lib
  for lib in $(ldd "$1" 2>/dev/null | grep -oE '/[^ ]+' || true); do
    [ -e "$lib" ] || continue
    mkdir -p "$root$(dirname "$lib")"
    [ -e "$root$lib" ] || cp -L "$lib" "$root$lib"
  done
}
mkdir -p "$root/lib/systemd" "$root/etc/udev/rules.d"
cp "$UDEVADM" "$root/bin/udevadm"
# The program's own udev rules, so that the guest's udev treats the mouse as a desktop's would.
for rules in "$here"/../../data/udev/*.rules; do
  [ -f "$rules" ] && cp "$rules" "$root/etc/udev/rules.d/"
done
ln -s /bin/udevadm "$root/lib/systemd/systemd-udevd"
copy_with_libs "$UDEVADM"

names=()
for prog in "$@"; do
  [ -x "$prog" ] || { echo "run-vm: $prog is not an executable" >&2; exit 2; }
  name=$(basename "$prog")
  cp "$prog" "$root/tests/$name"
  copy_with_libs "$prog"
  names+=("$name")
done
printf '%s\n' "${names[@]}" > "$root/tests/order"

cat > "$root/init" <<'EOF'
#!/bin/busybox sh
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mount -t tmpfs tmpfs /tmp
mount -t tmpfs tmpfs /run
echo "KRV-GUEST-BEGIN $(uname -r)"
for m in $(cat /lib/modules/load-order); do
  insmod "/lib/modules/$m.ko" || echo "FAIL insmod $m"
done
# udev's daemon relays the kernel's device events to libudev monitors, as on a desktop.
/lib/systemd/systemd-udevd --daemon --resolve-names=never 2>/tmp/udevd.log || echo "FAIL udevd start"
udevadm settle --timeout=30 || echo "FAIL udevadm settle"
for t in $(cat /tests/order); do
  echo "KRV-GUEST-RUN $t"
  "/tests/$t"
  echo "KRV-GUEST-EXIT $t $?"
done
echo "KRV-GUEST-END"
sync
poweroff -f
EOF
chmod +x "$root/init"

(cd "$root" && find . -print0 | cpio --null -o -H newc --quiet | gzip -1) > "$work/initrd.gz"

console=$work/console.log
: > "$console"
echo "run-vm: booting $(cat "$kdir/package") ($(du -h "$work/initrd.gz" | cut -f1) initramfs, limit ${limit}s)"
start=$(date +%s.%N)
set +e
timeout --kill-after=10 "$limit" qemu-system-x86_64 \
  -accel tcg -m 512 -smp 1 -nodefaults -no-user-config -display none -monitor none \
  -serial "file:$console" -no-reboot \
  -kernel "$kdir/vmlinuz" -initrd "$work/initrd.gz" \
  -append "console=ttyS0 panic=-1 quiet loglevel=3 rdinit=/init" </dev/null
qemu_rc=$?
set -e
end=$(date +%s.%N)
tr -d '\r' < "$console" > "$console.txt"
cat "$console.txt"
echo "run-vm: boot and tests took $(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.1f", e - s }') s, qemu exit $qemu_rc"

failed=0
fail() { echo "run-vm: $*"; failed=1; }
[ $qemu_rc -eq 124 ] || [ $qemu_rc -eq 137 ] && fail "the guest did not finish within ${limit}s"
grep -q '^KRV-GUEST-END$' "$console.txt" || fail "no end marker: the guest stopped early"
for name in "${names[@]}"; do
  line=$(grep -E "^KRV-GUEST-EXIT $name [0-9]+$" "$console.txt" || true)
  if [ -z "$line" ]; then
    fail "$name did not run to its end"
  elif [ "${line##* }" != 0 ]; then
    fail "$name exited with ${line##* }"
  fi
done
passes=$(grep -c '^PASS ' "$console.txt" || true)
fails=$(grep -c '^FAIL ' "$console.txt" || true)
[ "$passes" -gt 0 ] || fail "no PASS line"
[ "$fails" -eq 0 ] || fail "$fails FAIL lines"
echo "$passes passed, $fails failed"
exit $failed
