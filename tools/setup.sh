#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the program need.
# Quick when everything is already there: apt is only touched for missing packages.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libqt6network6 libgl-dev
  libgmp-dev libpcre2-dev
  libx11-dev libxtst-dev libxkbfile-dev libxss-dev  # libxss: the X screen saver, a lock's sign without logind
  libxkbcommon-dev xkb-data libx11-data libxkbcommon-x11-dev libx11-xcb-dev libxkbregistry-dev
  dbus-daemon libglib2.0-bin gsettings-desktop-schemas  # the desktop layout tests: a bus, GNOME's settings
  libfluidsynth-dev libasound2-dev timgm6mb-soundfont
  libudev-dev openssl
  libsqlite3-dev libssl-dev  # the journal of readings; SHA-256 for its hash chain
  libmosquitto-dev mosquitto  # MQTT publishing; the broker for its tests
  ser2net  # tests and benchmark of network ports: a real RFC 2217 server on loopback
  xvfb xauth x11-xkb-utils x11-xserver-utils  # xset turns the screen saver on and off in tests
  libwayland-dev libwayland-bin wayland-protocols sway  # Wayland virtual keyboard; sway runs its test
  plasma-wayland-protocols kwin-wayland libkf5service-bin  # KWin's fake input: its protocol; KWin and kbuildsycoca5 run its test
  mutter foot  # GNOME's remote desktop typing: a headless Mutter and a terminal that receives the keys
  qt6-wayland  # the paste test on Wayland: a Qt text field under sway
  tigervnc-standalone-server tigervnc-viewer xterm  # the remote session test: a VNC server, its viewer, a terminal in it
  xdg-desktop-portal-gnome  # the desktop portal's remote desktop test: the portal and its GNOME dialog
  librsvg2-bin
  help2man desktop-file-utils appstream groff-base dpkg-dev file lintian
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev llvm  # tools/fuzz.sh: libFuzzer; llvm-symbolizer for sanitizer reports
  qemu-system-x86 busybox-static udev seatd  # tools/vm-test.sh: uinput on a real kernel, under sway
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi

echo "Installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
