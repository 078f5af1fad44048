#!/usr/bin/env bash
# Boots Debian's kernel in QEMU with 16550 UARTs and an FTDI USB-serial adapter, runs the check
# groups inside it and leaves each group's output in WORK/results/GROUP for CTest to read.
#   lane.sh WORK CHECKS SIMULATOR ORVALEN ORVALENCTL GROUP...
# Guest: ttyS0 is the console, ttyS1 and ttyS2 are joined by a relay on this side, ttyUSB0 is
# the adapter, which the checks ask this script to pull out and plug back in (QMP device_del and
# device_add). Nothing is installed on the host but the tools; the kernel package is downloaded
# and unpacked into WORK/cache once.
set -euo pipefail
work="$1" checks="$2" sim="$3" orvalen="$4" ctl="$5"
shift 5
groups=("$@")
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
started=$SECONDS

fail() {
  echo "realtty: $*" >&2
  exit 1
}

# --- tools --------------------------------------------------------------------------------------
tools=(qemu-system-x86_64:qemu-system-x86 socat:socat cpio:cpio modinfo:kmod)
missing=()
for t in "${tools[@]}"; do
  command -v "${t%%:*}" >/dev/null 2>&1 || missing+=("${t#*:}")
done
# The guest's shell must not need libraries.
dpkg-query -W -f='${Status}' busybox-static 2>/dev/null | grep -q 'install ok installed' ||
  missing+=(busybox-static)
if [ ${#missing[@]} -gt 0 ]; then
  [ "$(id -u)" -eq 0 ] || fail "missing ${missing[*]}: install them (scripts/deps.sh does)"
  echo "realtty: installing ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" ||
    fail "could not install ${missing[*]}"
fi

# --- kernel -------------------------------------------------------------------------------------
# Only the kernel and the six USB modules are kept of the package (the whole tree is ~390 MB).
modules=(drivers/usb/common/usb-common drivers/usb/core/usbcore drivers/usb/host/xhci-hcd
  drivers/usb/host/xhci-pci drivers/usb/serial/usbserial drivers/usb/serial/ftdi_sio)
kernel="$work/cache/kernel"
if [ ! -f "$kernel/ready" ]; then
  rm -rf "$work/cache"
  mkdir -p "$work/cache/deb" "$kernel/modules"
  package=$(apt-cache depends linux-image-amd64 2>/dev/null |
    awk '/Depends: linux-image-[0-9]/ { print $2; exit }')
  if [ -z "$package" ]; then
    apt-get update -qq || true
    package=$(apt-cache depends linux-image-amd64 |
      awk '/Depends: linux-image-[0-9]/ { print $2; exit }')
  fi
  [ -n "$package" ] || fail "apt-cache does not name the kernel package of linux-image-amd64"
  (cd "$work/cache/deb" && apt-get download -qq "$package" 2>&1) || fail "apt-get download $package failed"
  dpkg-deb -x "$work/cache/deb/"*.deb "$work/cache/deb/tree"
  cp "$work/cache/deb/tree/boot/"vmlinuz-* "$kernel/vmlinuz"
  for m in "${modules[@]}"; do
    found=$(ls "$work/cache/deb/tree/lib/modules/"*/kernel/"$m".ko* 2>/dev/null | head -1)
    [ -n "$found" ] || fail "module $m not in $package"
    case "$found" in
    *.xz) xz -dc "$found" >"$kernel/modules/$(basename "$m").ko" ;;
    *.zst) zstd -qdc "$found" >"$kernel/modules/$(basename "$m").ko" ;;
    *) cp "$found" "$kernel/modules/$(basename "$m").ko" ;;
    esac
  done
  rm -rf "$work/cache/deb"
  echo "$package" >"$kernel/ready"
fi

# --- guest image --------------------------------------------------------------------------------
run="$work/run"
rm -rf "$run" "$work/results"
mkdir -p "$run/root" "$work/results"
root="$run/root"
mkdir -p "$root"/{bin,dev,proc,sys,tmp,checks,modules,plugins/platforms}
cp /bin/busybox "$root/bin/busybox"
cp "$checks" "$root/checks/realtty_checks"
cp "$sim" "$root/checks/orvalen-printer-sim"
cp "$orvalen" "$root/checks/orvalen"
cp "$ctl" "$root/checks/orvalenctl"
cp "$kernel/modules/"*.ko "$root/modules/"
qtcore=$(ldd "$checks" | awk '/libQt6Core/ { print $3 }')
# Offscreen for the checks' own windows; VNC for the program itself, typed into like a user.
platforms="$(dirname "$qtcore")/qt6/plugins/platforms"
offscreen="$platforms/libqoffscreen.so" vnc="$platforms/libqvnc.so"
[ -f "$offscreen" ] && [ -f "$vnc" ] || fail "Qt's offscreen and VNC platform plugins are not in $platforms"
cp "$offscreen" "$vnc" "$root/plugins/platforms/"
# The libraries each program loads, at the paths the loader looks in.
for binary in "$checks" "$sim" "$orvalen" "$ctl" "$offscreen" "$vnc"; do
  ldd "$binary" | awk '/=> \// { print $3 } $1 ~ /^\/.*ld-linux/ { print $1 }'
done | sort -u | while read -r lib; do
  cp --parents -L "$lib" "$root/"
done
# Fonts for the widgets, through fontconfig.
mkdir -p "$root/etc" "$root/usr/share/fonts"
cp -r /etc/fonts "$root/etc/" 2>/dev/null || true
font=$(ls /usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf 2>/dev/null | head -1)
[ -z "$font" ] || cp "$font" "$root/usr/share/fonts/"
cp "$here/init.sh" "$root/init"
cp "$here/../../scripts/sim-ready.sh" "$root/sim-ready.sh"
chmod +x "$root/init"
printf '%s\n' "${groups[@]}" >"$root/groups"
(cd "$root" && find . | cpio -o -H newc --quiet) >"$run/initrd.cpio"

# --- boot ---------------------------------------------------------------------------------------
console="$work/console.log"
: >"$console"
qemu_pid=""
relay_pid=""
adapter_pid=""
cleanup() {
  [ -z "$adapter_pid" ] || kill "$adapter_pid" 2>/dev/null || true
  [ -z "$relay_pid" ] || kill "$relay_pid" 2>/dev/null || true
  [ -z "$qemu_pid" ] || kill "$qemu_pid" 2>/dev/null || true
  wait 2>/dev/null || true
}
trap cleanup EXIT

qemu-system-x86_64 -m 512 -smp 2 -display none -monitor none -no-reboot \
  -kernel "$kernel/vmlinuz" -initrd "$run/initrd.cpio" \
  -append "console=ttyS0 quiet loglevel=3 panic=-1" \
  -chardev file,id=con,path="$console" -serial chardev:con \
  -chardev socket,id=s1,path="$run/s1",server=on,wait=off -serial chardev:s1 \
  -chardev socket,id=s2,path="$run/s2",server=on,wait=off -serial chardev:s2 \
  -qmp unix:"$run/qmp.sock",server=on,wait=off \
  -device qemu-xhci -chardev socket,id=u1,path="$run/u1",server=on,wait=off \
  -device usb-serial,id=ftdi,chardev=u1 </dev/null >"$run/qemu.out" 2>&1 &
qemu_pid=$!

deadline=$((SECONDS + 420))
until [ -S "$run/s1" ] && [ -S "$run/s2" ] && [ -S "$run/qmp.sock" ]; do
  kill -0 "$qemu_pid" 2>/dev/null || fail "QEMU did not start: $(cat "$run/qemu.out")"
  [ $SECONDS -lt $deadline ] || fail "QEMU made no sockets"
  sleep 0.1
done
socat UNIX-CONNECT:"$run/s1" UNIX-CONNECT:"$run/s2" &
relay_pid=$!
# QEMU attaches the adapter to the bus only while its chardev has a peer: a silent one, so that
# the exchange on it is still waiting for its reply when the adapter is pulled out.
socat -u UNIX-CONNECT:"$run/u1" OPEN:/dev/null &
adapter_pid=$!

qmp() {
  printf '%s\n' '{"execute":"qmp_capabilities"}' "$1" |
    socat -t 1 - UNIX-CONNECT:"$run/qmp.sock" >>"$run/qmp.log" 2>&1
}

# The checks ask for the adapter to be pulled out and put back on the console.
handled=0
while kill -0 "$qemu_pid" 2>/dev/null; do
  if [ $SECONDS -ge $deadline ]; then
    echo "realtty: the guest did not finish within 420 s" >&2
    kill "$qemu_pid"
    break
  fi
  mapfile -t asks < <(grep -a '^@@realtty host ' "$console" | tr -d '\r')
  while [ $handled -lt ${#asks[@]} ]; do
    case "${asks[$handled]}" in
    *unplug) qmp '{"execute":"device_del","arguments":{"id":"ftdi"}}' ;;
    *replug) qmp '{"execute":"device_add","arguments":{"driver":"usb-serial","id":"ftdi","chardev":"u1"}}' ;;
    esac
    handled=$((handled + 1))
  done
  sleep 0.2
done
wait "$qemu_pid" || true
qemu_pid=""

# --- results ------------------------------------------------------------------------------------
tr -d '\r' <"$console" | awk -v dir="$work/results" '
  /^@@realtty begin / { file = dir "/" $3; print > file; next }
  /^@@realtty end /   { print >> file; close(file); file = ""; next }
  file != ""          { print >> file }
'
echo "realtty: lane took $((SECONDS - started)) s (kernel $(cat "$kernel/ready"))"
for g in "${groups[@]}"; do
  if [ -f "$work/results/$g" ]; then
    echo "  $g: $(tail -1 "$work/results/$g")"
  else
    echo "  $g: no result"
  fi
done
grep -q '^@@realtty finished' <(tr -d '\r' <"$console") ||
  fail "the guest did not finish its checks; console: $console"
