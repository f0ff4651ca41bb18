#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Prepares what the virtual-machine test needs, without touching the host's kernel:
#   - installs the emulator, a static busybox and cpio when they are missing;
#   - resolves Debian's current generic kernel package with apt, downloads it, and unpacks only its
#     kernel image and the modules the test loads (with their dependencies, decompressed) into
#     CACHE_DIR/<kernel version>/. A later run with the same version reuses that folder;
#   - does the same for udev's daemon (udevadm, from the udev package), which the guest runs so that
#     libudev monitors see device events as on a desktop. It is unpacked, never installed.
# Usage: tests/kernel/prepare.sh CACHE_DIR
# Writes CACHE_DIR/current.env (KERNEL_DIR=..., UDEVADM=...) for the boot script.
set -euo pipefail

cache=${1:?usage: $0 CACHE_DIR}
mkdir -p "$cache"
cache=$(cd "$cache" && pwd)
# One preparation at a time per cache (tests may start side by side).
exec 9>"$cache/.lock"
flock 9

# The HID core, its generic driver, the user-space HID transport, the event interface and the
# user-space input device, in the order they are loaded.
wanted_modules=(hid hid_generic uhid evdev uinput)

log() { echo "prepare: $*" >&2; }

have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
apt_updated=0
apt_update() {
  if [ $apt_updated -eq 0 ]; then
    log "apt-get update"
    $SUDO apt-get update -qq >&2
    apt_updated=1
  fi
}

missing=()
for p in qemu-system-x86 busybox-static cpio; do
  have_pkg "$p" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  apt_update
  log "installing ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
fi

# udev's daemon, unpacked from the candidate version of the udev package.
prepare_udev() {
  local uversion udest uwork
  uversion=$(apt-cache policy udev 2>/dev/null | sed -n 's/^ *Candidate: //p' | head -n1)
  if [ -z "$uversion" ] || [ "$uversion" = "(none)" ]; then
    log "cannot resolve the udev package"
    exit 1
  fi
  udest=$cache/udev-${uversion//[^A-Za-z0-9.+-]/_}
  UDEVADM=$udest/udevadm
  [ -x "$UDEVADM" ] && return 0
  log "fetching udev $uversion"
  uwork=$(mktemp -d "$cache/.fetch-udev.XXXXXX")
  chmod 0777 "$uwork"
  (cd "$uwork" && apt-get download -q "udev=$uversion" >&2)
  dpkg-deb -x "$uwork"/udev_*.deb "$uwork/root"
  mkdir -p "$udest"
  cp "$(find "$uwork/root" -type f -path "*bin/udevadm" | head -n1)" "$UDEVADM.tmp"
  mv "$UDEVADM.tmp" "$UDEVADM"
  rm -rf "$uwork"
}

write_env() {
  printf 'KERNEL_DIR=%q\nUDEVADM=%q\n' "$dest" "$UDEVADM" > "$cache/current.env"
}

# The generic kernel metapackage depends on exactly one versioned image package.
resolve_image() {
  apt-cache depends linux-image-amd64 2>/dev/null |
    sed -n 's/^ *Depends: \(linux-image-[0-9][^ ]*-amd64\)$/\1/p' | head -n1
}
image_pkg=$(resolve_image || true)
if [ -z "$image_pkg" ]; then
  apt_update
  image_pkg=$(resolve_image || true)
fi
if [ -z "$image_pkg" ]; then
  log "cannot resolve the kernel package linux-image-amd64 with apt"
  exit 1
fi
version=${image_pkg#linux-image-}
dest=$cache/$version
if [ -f "$dest/ready" ]; then
  log "kernel $version already prepared"
  prepare_udev
  write_env
  exit 0
fi

log "fetching $image_pkg"
work=$(mktemp -d "$cache/.fetch.XXXXXX")
trap 'rm -rf "$work"' EXIT
# apt drops its privileges for the download when it can; a folder it may write keeps it quiet.
chmod 0777 "$work"
(cd "$work" && apt-get download -q "$image_pkg" >&2) ||
  { apt_update; (cd "$work" && apt-get download -q "$image_pkg" >&2); }
deb=$(ls "$work"/*.deb)
dpkg-deb -x "$deb" "$work/root"

moddir=$(find "$work/root" -path '*/modules/*' -name modules.builtin -printf '%h\n' | head -n1)
kimage=$(find "$work/root/boot" -name 'vmlinuz-*' | head -n1)
if [ -z "$moddir" ] || [ -z "$kimage" ]; then
  log "unexpected layout of $image_pkg"
  exit 1
fi

# Module name (dashes as underscores) -> file.
declare -A modfile
while IFS= read -r f; do
  n=$(basename "$f")
  n=${n%%.ko*}
  modfile[${n//-/_}]=$f
done < <(find "$moddir" -name '*.ko' -o -name '*.ko.xz' -o -name '*.ko.zst' -o -name '*.ko.gz')

rm -rf "$dest.tmp"
mkdir -p "$dest.tmp/modules"

decompress() {
  case "$1" in
    *.ko.xz) xz -dc "$1" ;;
    *.ko.zst) zstd -qdc "$1" ;;
    *.ko.gz) gzip -dc "$1" ;;
    *) cat "$1" ;;
  esac
}

# Depth-first: a module's dependencies are written to the load order before the module itself.
declare -A placed
place() {
  local name=${1//-/_}
  [ -n "${placed[$name]:-}" ] && return 0
  placed[$name]=1
  local f=${modfile[$name]:-}
  if [ -z "$f" ]; then
    if grep -qE "^kernel/.*/${name//_/[-_]}\.ko" "$moddir/modules.builtin" 2>/dev/null; then
      return 0 # built into the kernel
    fi
    log "module $name is neither built in nor shipped by $image_pkg"
    exit 1
  fi
  decompress "$f" > "$dest.tmp/modules/$name.ko"
  local deps
  deps=$(tr '\0' '\n' < "$dest.tmp/modules/$name.ko" | sed -n 's/^depends=//p' | head -n1)
  local d
  for d in ${deps//,/ }; do place "$d"; done
  echo "$name" >> "$dest.tmp/modules/load-order"
}
for m in "${wanted_modules[@]}"; do place "$m"; done

cp "$kimage" "$dest.tmp/vmlinuz"
echo "$image_pkg" > "$dest.tmp/package"
touch "$dest.tmp/ready"
rm -rf "$dest"
mv "$dest.tmp" "$dest"
log "kernel $version prepared: modules $(tr '\n' ' ' < "$dest/modules/load-order")"
rm -rf "$work"
prepare_udev
write_env
