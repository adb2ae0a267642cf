#!/usr/bin/env bash
# Unpacks the built package and checks it as an installation would use it: every program
# answers --version from there, the desktop entry and the metadata validate, every manual
# page renders without a warning, and the system files are in place.
set -uo pipefail
build=$1
deb=$(ls "$build"/tarovex_*.deb 2>/dev/null | head -n1)
if [ -z "$deb" ]; then
    echo "no package in $build: run tools/package.sh" >&2
    exit 1
fi
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

version=$(dpkg-deb -f "$deb" Version)
[ -n "$(dpkg-deb -f "$deb" Depends)" ] || fail "no dependencies computed"
# The sound output looks for this soundfont first; without it no sound plays.
soundfont=$(grep -o '"/usr/share/sounds/sf2/[^"]*"' "$(dirname "$0")/../../worker/sound/SoundBot.cpp" | head -n1 | tr -d '"')
soundfont_package=$(dpkg -S "$soundfont" 2>/dev/null | cut -d: -f1)
case " $(dpkg-deb -f "$deb" Depends Recommends | tr ',|\n' '   ') " in
    *" ${soundfont_package:-?} "*) ;;
    *) fail "neither depends on nor recommends ${soundfont_package:-the package of $soundfont}" ;;
esac
for exe in tarovex tarovex-console tarovex-virtual-instrument tarovex-presets; do
    bin="$root/usr/bin/$exe"
    [ -x "$bin" ] || { fail "$exe is not in the package"; continue; }
    # Its debug information is in the -dbgsym package.
    case "$(file -b "$bin")" in *", stripped"*) ;; *) fail "$exe is not stripped" ;; esac
    out=$(QT_QPA_PLATFORM=offscreen timeout 10 "$bin" --version </dev/null 2>&1) || fail "$exe --version failed: $out"
    case "$out" in *"$version"*) ;; *) fail "$exe --version does not name $version: $out" ;; esac
    page="$root/usr/share/man/man1/$exe.1.gz"
    if [ ! -f "$page" ] && [ ! -f "${page%.gz}" ]; then
        fail "no manual page for $exe"
        continue
    fi
    [ -f "$page" ] || page=${page%.gz}
    warnings=$(zcat -f "$page" | groff -man -Tutf8 -ww -z 2>&1)
    [ -z "$warnings" ] || fail "manual page of $exe: $warnings"
done
for exe in tarovex tarovex-console; do
    entry="$root/usr/share/applications/$exe.desktop"
    desktop-file-validate "$entry" || fail "desktop entry of $exe"
    # What KWin checks before it lets the program type through its fake input.
    grep -qx "Exec=/usr/bin/$exe" "$entry" && grep -qx 'X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input' "$entry" ||
        fail "the desktop entry of $exe does not ask KWin for its fake input"
done
appstreamcli validate --no-net --pedantic "$root"/usr/share/metainfo/*.metainfo.xml >/dev/null || {
    appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml; fail "metadata"; }
[ -f "$root/usr/share/icons/hicolor/scalable/apps/tarovex.svg" ] || fail "no scalable icon"
grep -q 'TAG+="uaccess"' "$root/usr/lib/udev/rules.d/70-tarovex-uinput.rules" || fail "uinput rule"
grep -qx uinput "$root/usr/lib/modules-load.d/tarovex.conf" || fail "uinput module entry"
grep -q '^d /var/lib/tarovex 2775 root tarovex ' "$root/usr/lib/tmpfiles.d/tarovex.conf" ||
    fail "shared settings folder is not 2775 root:tarovex"
grep -q '^g tarovex ' "$root/usr/lib/sysusers.d/tarovex.conf" || fail "no group tarovex for the shared settings"
postinst=$(dpkg-deb -I "$deb" postinst 2>/dev/null)
case "$postinst" in *1777*|*0666*|*" a+w"*|*" o+w"*) fail "postinst opens the shared settings to every user" ;; esac

# Debian's own checks: an error is a failure; the warnings are shown.
lintian_out=$(lintian --allow-root "$deb" 2>&1)
[ -z "$lintian_out" ] || echo "$lintian_out" >&2
if echo "$lintian_out" | grep -q '^E: '; then
    fail "lintian reports errors"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) of $deb failed" >&2
    exit 1
fi
echo "package $deb: every check passed"
