#!/bin/sh
# The first process of the test machine (busybox): loads the modules, mounts the host's root
# read-only, runs the command given in /command inside it and hands its exit status to the
# host on the console before powering off.
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs dev /dev
echo "tarovex-vm: booted"

while read -r module; do
    insmod "/modules/$module" || echo "tarovex-vm: cannot load $module"
done </modules.list

status=1
mkdir -p /host
if mount -t 9p -o trans=virtio,version=9p2000.L,ro,msize=524288,cache=loose hostroot /host; then
    mount -t proc proc /host/proc
    mount -t sysfs sysfs /host/sys
    mount -t devtmpfs dev /host/dev
    # The host's /tmp stays visible (the build may be there); temporary files go to /run.
    mount -t tmpfs run /host/run
    mkdir -p /host/run/tmp
    echo "tarovex-vm: ready"
    # The host's environment stays outside; the command gets a plain one.
    chroot /host /usr/bin/env -i PATH=/usr/bin:/bin HOME=/run/tmp TMPDIR=/run/tmp TEST_TMPDIR=/run/tmp/ \
        LANG=C.UTF-8 TAROVEX_IN_VM=1 /bin/sh -c "$(cat /command)"
    status=$?
else
    echo "tarovex-vm: cannot mount the host's root"
fi
echo "tarovex-vm: finished"
echo "tarovex-vm-exit=$status"
poweroff -f
