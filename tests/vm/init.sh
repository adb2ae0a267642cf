#!/bin/sh
# The first process of the test machine (busybox): loads the modules, mounts the host's root
# read-only, makes it the root (not a chroot, which udev refuses to serve) and runs the
# command given in /command there, handing its exit status to the host on the console before
# powering off.
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs dev /dev
echo "tarovex-vm: booted"

while read -r module; do
    insmod "/modules/$module" || echo "tarovex-vm: cannot load $module"
done </modules.list

mkdir -p /host
if ! mount -t 9p -o trans=virtio,version=9p2000.L,ro,msize=524288,cache=loose hostroot /host; then
    echo "tarovex-vm: cannot mount the host's root"
    echo "tarovex-vm-exit=1"
    poweroff -f
fi
mount -t proc proc /host/proc
mount -t sysfs sysfs /host/sys
mount -t devtmpfs dev /host/dev
mkdir -p /host/dev/shm
mount -t tmpfs -o mode=1777 shm /host/dev/shm
# The host's /tmp stays visible (the build may be there); the machine's own files go to /run.
mount -t tmpfs run /host/run
mkdir -p /host/run/vm /host/run/tmp
cp /bin/busybox /command /host/run/vm/
cat >/host/run/vm/stage2 <<'EOF'
echo "tarovex-vm: ready"
# The host's environment stays outside; the command gets a plain one.
/usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/run/tmp TMPDIR=/run/tmp TEST_TMPDIR=/run/tmp/ \
    LANG=C.UTF-8 TAROVEX_IN_VM=1 /bin/sh -c "$(cat /run/vm/command)"
status=$?
echo "tarovex-vm: finished"
echo "tarovex-vm-exit=$status"
/run/vm/busybox poweroff -f
EOF
exec switch_root /host /run/vm/busybox sh /run/vm/stage2
