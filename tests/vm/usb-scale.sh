#!/bin/sh
# A USB scale on a real kernel (run by tools/vm-test.sh under desktop.sh, as root): uhid makes
# the scale, hid-generic gives it a hidraw node, udev applies the package's rule. Checks the
# rule gives the scale, and not a keyboard, to the group plugdev; the console's listing names
# the scale, and its check of this computer tells a user outside plugdev how to get it; a run
# of the console as an unprivileged user in plugdev (there is no logind here to give the seat's
# access) reads its reports exactly, and reads again after unplugging and plugging in. Ends
# with "usb-scale: PASSED". Given the window and an X client that records what it gets, the
# window started with the desktop, as nobody in plugdev on Xvfb, types the settled weight too.
# Usage: usb-scale.sh UHID_PROGRAM CONSOLE RULES_FILE HELPER [WINDOW XRECORDER]
set -eu
uhid=$1 console=$2 rules=$3 helper=$4 window=${5:-} xrecorder=${6:-}
port=hid:7a10:0005:TS0042
work=$(mktemp -d)
fail() {
    echo "usb-scale: FAILED: $*"
    for f in "$work"/*.out "$work"/*.log; do
        [ -f "$f" ] && sed "s|^|${f##*/}: |" "$f"
    done
    exit 1
}
# Waits up to 20 s (or $3 tenths of a second) for the line $2 in file $1.
waitFor() {
    for _ in $(seq "${3:-200}"); do
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

# Only the scale gets the seat's access (logind would turn the tag into an ACL; there is none)
# and the group plugdev's.
"$helper" "/sys/class/hidraw/${scale#/dev/}" || fail "the helper does not take the scale $scale"
! "$helper" "/sys/class/hidraw/${keyboard#/dev/}" || fail "the helper takes the keyboard $keyboard"
udevadm info -q property "$scale" | grep -q '^TAGS=.*:uaccess:' || fail "udev did not tag the scale uaccess"
! udevadm info -q property "$keyboard" | grep -q '^TAGS=.*:uaccess:' || fail "udev tagged the keyboard uaccess"
[ "$(stat -c '%G %a' "$scale")" = "plugdev 660" ] || fail "the scale $scale is $(stat -c '%G %a' "$scale"), not plugdev 660"
[ "$(stat -c %G "$keyboard")" != plugdev ] || fail "the keyboard $keyboard went to the group plugdev"
echo "usb-scale: the rule gives $scale (scale) to the seat and plugdev ($(stat -c '%G %a' "$scale"))," \
    "leaves $keyboard (keyboard, $(stat -c '%G %a' "$keyboard"))"

# The user nobody, in plugdev or not, with a home of its own.
home=$work/home
mkdir -p "$home/.config" "$home/.local/share" "$home/run"
chmod 711 "$work"
chmod 700 "$home/run"
chown -R nobody:nogroup "$home"
asNobody="env HOME=$home XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share XDG_RUNTIME_DIR=$home/run"
inPlugdev="setpriv --reuid=nobody --regid=nogroup --groups=plugdev $asNobody"
outsidePlugdev="setpriv --reuid=nobody --regid=nogroup --clear-groups $asNobody"
# The build may lie in a folder nobody may not enter (a private clone): nobody runs the
# programs bound onto files of its own reach.
mkdir -p "$work/bin"
chmod 755 "$work/bin"
reachable() {
    touch "$work/bin/${1##*/}"
    mount --bind "$1" "$work/bin/${1##*/}"
    echo "$work/bin/${1##*/}"
}
console=$(reachable "$console")
if [ -n "$window" ] && [ -x "$window" ] && [ -x "$xrecorder" ]; then
    window=$(reachable "$window")
    xrecorder=$(reachable "$xrecorder")
fi

$inPlugdev "$console" --doctor >"$work/doctor.out" 2>&1 || true
grep -F "$port" "$work/doctor.out" | grep -F "$scale" | grep -F "this user can read it" |
    sed 's/^/usb-scale: doctor (plugdev): /' | grep . || fail "the console's listing lacks $port, readable"
! grep -qF hid:7a10:0001 "$work/doctor.out" || fail "the console lists the keyboard"
$outsidePlugdev "$console" --doctor >"$work/doctor-outside.out" 2>&1 || true
grep -A1 -F "$port" "$work/doctor-outside.out" | sed 's/^/usb-scale: doctor (not plugdev): /'
grep -F "$port" "$work/doctor-outside.out" | grep -qF "may not open it" ||
    fail "the check does not say nobody outside plugdev may not open the scale"
grep -A1 -F "$port" "$work/doctor-outside.out" | grep -F "fix:" | grep -F "udevadm trigger --subsystem-match=hidraw" |
    grep -qF "adduser nobody plugdev" || fail "the check's fix names not both ways to the scale"

# The Generic preset as a user sets it for a scale: settled weights only, by "ST,".
$inPlugdev "$console" --reconnect --set stableOnly=true --set stableRegEx=ST, "$port" >"$work/values.out" 2>"$work/console.log" &
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
# Plugged in again only once a try has missed it, so that the missing scale is said (once).
waitFor "$work/console.log" "no USB scale with these numbers is plugged in"
cat >&3 <<'SCRIPT'
create
wait-open
send 4 12 -2 999
send 4 12 -2 1234
SCRIPT
waitFor "$work/console.log" "The device $port reconnected; reading goes on."
waitFor "$work/console.log" "ST,+12.34 lb"
[ "$(stat -c %u "/proc/$consolePid")" = "$(id -u nobody)" ] || fail "the console does not run as nobody"
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

if [ -n "$window" ]; then
    [ -x "$window" ] && [ -x "$xrecorder" ] || fail "not built: $window or $xrecorder"
    # The host's /tmp is read-only here: the X server's sockets and keymaps go to a tmpfs.
    mount -t tmpfs -o mode=1777 tmp /tmp
    mkdir -m 1777 /tmp/.X11-unix # an X server not run by root makes no such folder
    $inPlugdev Xvfb :7 -noreset -nolisten tcp -screen 0 800x600x24 >"$work/xvfb.log" 2>&1 &
    for _ in $(seq 300); do
        [ -S /tmp/.X11-unix/X7 ] && break
        sleep 0.1
    done
    [ -S /tmp/.X11-unix/X7 ] || fail "Xvfb did not start"
    mkdir -p "$home/.config/Lumbrix"
    cat >"$home/.config/Lumbrix/tarovex.conf" <<'SETTINGS'
[com]
lumbrix\tarovex\connect=AUTO
lumbrix\tarovex\instrument=GENERIC
lumbrix\tarovex\stableOnly=true
lumbrix\tarovex\stableRegEx="ST,"
SETTINGS
    chown -R nobody:nogroup "$home"
    DISPLAY=:7 QT_QPA_PLATFORM=xcb $inPlugdev "$window" --with-desktop "$port" >"$work/window.log" 2>&1 &
    # The first report after the window opens the scale is dropped; 7.85 settled is typed.
    echo wait-open >&3
    DISPLAY=:7 $inPlugdev "$xrecorder" >"$work/typed.out" 2>"$work/xrecorder.log" &
    waitFor "$work/typed.out" ready 600
    cat >&3 <<'SCRIPT'
send 4 12 -2 999
send 3 12 -2 785
send 4 12 -2 785
SCRIPT
    waitFor "$work/typed.out" "T 5" 300
    sleep 1
    typed=$(sed -n 's/^T //p' "$work/typed.out" | tr -d '\n')
    sed -n 's/^/usb-scale: window typed: /p' "$work/typed.out"
    [ "$typed" = 7.85 ] || fail "the window typed \"$typed\", not 7.85"
fi
echo "usb-scale: PASSED"
