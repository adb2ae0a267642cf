#!/bin/sh
# Runs COMMAND in the test machine with what a desktop session has under it: udev, which
# records the input devices for libinput, and seatd, which lets a compositor running as an
# unprivileged user (nobody) open them.
set -e
/lib/systemd/systemd-udevd --daemon >/dev/null 2>&1
udevadm trigger --action=add
udevadm settle --timeout=30
seatd -g nogroup -l error &
for _ in $(seq 100); do
    [ -S /run/seatd.sock ] && break
    sleep 0.1
done
"$@"
