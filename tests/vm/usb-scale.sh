#!/bin/sh
# A USB scale on a real kernel (run by tools/vm-test.sh under desktop.sh, as root): uhid makes
# the scale, hid-generic gives it a hidraw node, udev applies the package's rule. Checks the
# rule's helper picks the scale and not a keyboard, the console's listing names the scale, a
# run of the console reads its reports exactly, and reads again after unplugging and plugging
# in. Ends with "usb-scale: PASSED".
# Usage: usb-scale.sh UHID_PROGRAM CONSOLE RULES_FILE HELPER
set -eu
uhid=$1 console=$2 rules=$3 helper=$4
port=hid:7a10:0005:TS0042
work=$(mktemp -d)
fail() {
    echo "usb-scale: FAILED: $*"
    for f in "$work"/*.out "$work"/*.log; do
        [ -f "$f" ] && sed "s|^|${f##*/}: |" "$f"
    done
    exit 1
}
# Waits up to 20 s for the line $2 in file $1.
waitFor() {
    for _ in $(seq 200); do
        grep -qF -- "$2" "$1" 2>/dev/null && return 0
        sleep 0.1
    done
    fail "no \"$2\" in ${1##*/}"
}
# The hidraw node of the device with serial $1.
nodeOf() {
    for _ in $(seq 100); do
        for d in /sys/class/hidraw/*; do
            if grep -qx "HID_UNIQ=$1" "$d/device/uevent" 2>/dev/null && [ -e "/dev/${d##*/}" ]; then
                echo "/dev/${d##*/}"
                return
            fi
        done
        sleep 0.1
    done
}

# The package's rule as it is, but for the helper's place: /usr/lib/udev is the host's.
mkdir -p /run/udev/rules.d
sed "s|PROGRAM==\"tarovex-hid-scale |PROGRAM==\"$helper |" "$rules" >/run/udev/rules.d/70-tarovex-hid-scale.rules
udevadm control --reload

mkfifo "$work/scale" "$work/keyboard"
"$uhid" <"$work/scale" >"$work/scale.out" 2>&1 &
exec 3>"$work/scale"
"$uhid" keyboard <"$work/keyboard" >"$work/keyboard.out" 2>&1 &
exec 4>"$work/keyboard"
echo create >&3
echo create >&4
scale=$(nodeOf TS0042)
keyboard=$(nodeOf KB1)
[ -n "$scale" ] && [ -n "$keyboard" ] || fail "no hidraw node for the scale or the keyboard"
udevadm settle --timeout=30

# Only the scale gets the seat's access (logind would turn the tag into an ACL; there is none).
"$helper" "/sys/class/hidraw/${scale#/dev/}" || fail "the helper does not take the scale $scale"
! "$helper" "/sys/class/hidraw/${keyboard#/dev/}" || fail "the helper takes the keyboard $keyboard"
udevadm info -q property "$scale" | grep -q '^TAGS=.*:uaccess:' || fail "udev did not tag the scale uaccess"
! udevadm info -q property "$keyboard" | grep -q '^TAGS=.*:uaccess:' || fail "udev tagged the keyboard uaccess"
echo "usb-scale: the rule tags $scale (scale) and leaves $keyboard (keyboard)"

"$console" --doctor >"$work/doctor.out" 2>&1 || true
grep -F "$port" "$work/doctor.out" | grep -F "$scale" | sed 's/^/usb-scale: doctor: /' | grep . ||
    fail "the console's listing lacks $port"
! grep -qF hid:7a10:0001 "$work/doctor.out" || fail "the console lists the keyboard"

# The Generic preset as a user sets it for a scale: settled weights only, by "ST,".
"$console" --reconnect --set stableOnly=true --set stableRegEx=ST, "$port" >"$work/values.out" 2>"$work/console.log" &
consolePid=$!
# The first report after opening is dropped (a scale may send one held from before), repeats
# too; then 7.85 lb, in motion, 1.25 kg, -0.50 lb, over weight.
cat >&3 <<'SCRIPT'
wait-open
send 4 12 -2 999
send 4 12 -2 785
send 4 12 -2 785
send 3 12 -2 310
send 4 3 -2 125
send 5 12 -2 50
send 6 12 -2 0
SCRIPT
waitFor "$work/console.log" "ER,Over weight: the load is more than the scale can weigh"
grep -q '(unstable) .*US,+3.10 lb' "$work/console.log" || fail "the weight in motion is not marked unstable"

# Unplugged and plugged in again: read on, the time it took, the missing scale logged once.
echo destroy >&3
waitFor "$work/console.log" "The device $port was disconnected; waiting for it to come back."
cat >&3 <<'SCRIPT'
create
wait-open
send 4 12 -2 999
send 4 12 -2 1234
SCRIPT
waitFor "$work/console.log" "The device $port reconnected; reading goes on."
waitFor "$work/console.log" "ST,+12.34 lb"
kill -TERM "$consolePid"
wait "$consolePid" || fail "the console ended with status $?"
sed -n 's/^/usb-scale: value /p' "$work/values.out"
sed -n 's/^[0-9:]* /usb-scale: log /p' "$work/console.log"
printf '7.85\n\n1.25\n-0.50\n\n12.34\n' | cmp -s - "$work/values.out" || fail "other values than 7.85, -, 1.25, -0.50, -, 12.34"
! grep -q '9\.99' "$work/console.log" || fail "a report held from before the opening was read"
! grep -q "was not processed" "$work/console.log" || fail "a line end was reported as data not processed"
[ "$(grep -c 'no USB scale with these numbers is plugged in' "$work/console.log")" = 1 ] ||
    fail "the missing scale is not logged exactly once"
sed -n 's/^opened \(.*\) after create$/usb-scale: read again \1 after the replug/p' "$work/scale.out" | tail -n1
echo "usb-scale: PASSED"
