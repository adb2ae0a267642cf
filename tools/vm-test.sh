#!/usr/bin/env bash
# Runs a command on a real Debian kernel under QEMU, for the tests that need what this
# machine's kernel may lack (uinput, evdev). The kernel package is fetched with apt-get
# download and unpacked into BUILD_DIR/vm (never installed); the machine boots a small
# initramfs of ours that mounts the host's root read-only over virtio-9p and runs COMMAND in
# it as root. Its exit status becomes ours; with --expect, so does whether its output has
# that line (a test program may exit 0 having run nothing). Each --module NAME (as its file is
# named, without .ko) is loaded as well, after what it needs.
# Usage: tools/vm-test.sh [--expect LINE] [--module NAME]... BUILD_DIR COMMAND [ARG...]
# Exits 77 (skipped) with the reason when QEMU, a static busybox or the kernel cannot be had.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
expect=
modules=(virtio_pci 9pnet_virtio 9p evdev uinput)
while [ $# -ge 2 ]; do
    case $1 in
    --expect) expect=$2 ;;
    --module) modules+=("$2") ;;
    *) break ;;
    esac
    shift 2
done
[ $# -ge 2 ] || {
    echo "usage: $0 [--expect LINE] [--module NAME]... BUILD_DIR COMMAND [ARG...]" >&2
    exit 2
}
build=$(cd "$1" && pwd)
shift
vm="$build/vm"
elapsed() {
    echo "$EPOCHREALTIME $start" | awk '{ printf "%.1f", $1 - $2 }'
}
# Under CI=true a skip would let a green run claim what it did not prove: it fails instead.
skip() {
    if [ "${CI:-}" = true ]; then
        echo "FAILED (CI=true, so this cannot be skipped): $*"
        exit 1
    fi
    echo "SKIPPED: $*"
    exit 77
}

qemu=$(command -v qemu-system-x86_64) || skip "no qemu-system-x86_64 (package qemu-system-x86)"
busybox=$(command -v busybox) || skip "no busybox (package busybox-static)"
if readelf -d "$busybox" 2>/dev/null | grep -q NEEDED; then
    skip "$busybox is linked dynamically; the initramfs needs package busybox-static"
fi

# One machine at a time per build folder: they share the kernel and the files made for it.
mkdir -p "$vm"
exec 9>"$vm/.lock"
flock 9

# The kernel: Debian's current one, once per build folder.
kernel="$vm/kernel"
if [ ! -f "$kernel/.unpacked" ]; then
    rm -rf "$vm/download" "$kernel" "$vm/vmlinux"
    mkdir -p "$vm/download"
    # errexit does not hold on the left of ||: each step chained.
    (
        cd "$vm/download" &&
            apt-get download -q linux-image-amd64 >/dev/null 2>&1 &&
            image=$(dpkg-deb -f linux-image-amd64_*.deb Depends | sed 's/[ (,].*//') &&
            apt-get download -q "$image" >/dev/null 2>&1 &&
            mkdir -p "$kernel" &&
            dpkg-deb -x "$image"_*.deb "$kernel"
    ) || skip "cannot download and unpack the kernel package linux-image-amd64 (apt-get update?)"
    version=$(basename "$(ls -d "$kernel"/lib/modules/*)")
    "$busybox" depmod -b "$kernel" "$version"
    rm -rf "$vm/download"
    touch "$kernel/.unpacked"
fi
vmlinuz=$(ls "$kernel"/boot/vmlinuz-* | head -n1)
version=${vmlinuz##*/vmlinuz-}
moddir="$kernel/lib/modules/$version"

# Decompressing the kernel takes an emulated CPU some 10 s: boot the uncompressed image
# through its PVH entry instead, where the xz payload can be found.
boot="$vm/vmlinux"
if [ ! -s "$boot" ]; then
    offset=$(LC_ALL=C grep -obUaP '\xfd\x37\x7a\x58\x5a\x00' "$vmlinuz" | head -n1 | cut -d: -f1)
    if [ -z "$offset" ] || ! tail -c +$((offset + 1)) "$vmlinuz" | xz -dc --single-stream >"$boot" 2>/dev/null; then
        cp "$vmlinuz" "$boot"
    fi
fi

# The modules to load and what they need, dependencies first.
declare -A modulePath=() loaded=()
while IFS=: read -r path _; do
    name=${path##*/}
    modulePath[${name%.ko}]=$path
done <"$moddir/modules.dep"
order=()
addModule() {
    local path=$1 dep
    [ -n "${loaded[$path]:-}" ] && return
    loaded[$path]=1
    for dep in $(grep "^$path:" "$moddir/modules.dep" | cut -d: -f2); do
        addModule "$dep"
    done
    order+=("$path")
}
for module in "${modules[@]}"; do
    [ -n "${modulePath[$module]:-}" ] || skip "kernel $version has no module $module"
    addModule "${modulePath[$module]}"
done

# The initramfs: busybox, our init, the modules, the command.
stage="$vm/initramfs"
rm -rf "$stage"
mkdir -p "$stage"/{bin,dev,proc,sys,modules}
cp "$busybox" "$stage/bin/busybox"
for applet in sh mount mkdir cat cp insmod switch_root poweroff; do
    ln -s busybox "$stage/bin/$applet"
done
install -m 0755 "$top/tests/vm/init.sh" "$stage/init"
: >"$stage/modules.list"
for path in "${order[@]}"; do
    cp "$moddir/$path" "$stage/modules/"
    echo "${path##*/}" >>"$stage/modules.list"
done
printf '%q ' "$@" >"$stage/command"
(cd "$stage" && find . | "$busybox" cpio -o -H newc 2>/dev/null) | gzip -1 >"$vm/initramfs.cpio.gz"

# KVM hangs on some hosts; TCG is slower but works everywhere. The emulated clock drifts
# under load, so the host's clock times the steps the machine announces. On a loaded host
# the kernel's check of the timer interrupt can miss its window and panic at boot
# ("IO-APIC + timer doesn't work"): no_timer_check skips that check.
log="$vm/console.log"
: >"$log"
start=$EPOCHREALTIME
set +e
timeout 400 "$qemu" -accel tcg -m 768 -nodefaults -no-user-config -no-reboot -display none \
    -serial stdio -kernel "$boot" -initrd "$vm/initramfs.cpio.gz" \
    -append "console=ttyS0 quiet loglevel=3 panic=-1 no_timer_check" \
    -virtfs local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap </dev/null |
    while IFS= read -r line; do
        line=${line%$'\r'}
        printf '%s\n' "$line" >>"$log"
        case $line in
        tarovex-vm-exit=*) ;;
        tarovex-vm:*) echo "$line at $(elapsed) s" ;;
        *) echo "$line" ;;
        esac
    done
qemuStatus=${PIPESTATUS[0]}
set -e
echo "tarovex-vm: kernel $version, QEMU ran $(elapsed) s"
status=$(sed -n 's/^tarovex-vm-exit=//p' "$log" | tail -n1)
if [ -z "$status" ]; then
    echo "tarovex-vm: the machine stopped without a result (QEMU status $qemuStatus)" >&2
    exit 1
fi
if [ "$status" = 0 ] && [ -n "$expect" ] && ! grep -qxF -- "$expect" "$log"; then
    echo "tarovex-vm: the output lacks the line \"$expect\"" >&2
    exit 1
fi
exit "$status"
