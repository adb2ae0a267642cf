#!/usr/bin/env bash
# Builds what it runs, then shows the program at work without any hardware: a virtual
# instrument on a pseudo-terminal sends one scale reading every two seconds, and the window
# opens on that port. Press Start, click into an editor, and the readings are typed there.
#
# Without a display (no DISPLAY or WAYLAND_DISPLAY, as over ssh or in a container) a window
# cannot open: the console front end reads the instrument instead and prints each value.
# ./tools/run.sh --console [ARGS] asks for the console anyway; ARGS go to tarovex-console
# (for example --set decimalPlaces=1). Ctrl+C or closing the window stops everything.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
mode=window
if [ "${1:-}" = "--console" ]; then
  mode=console
  shift
elif [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  mode=console
  echo "run.sh: no display (DISPLAY and WAYLAND_DISPLAY are unset), so the window cannot open;" >&2
  echo "run.sh: running the console front end instead, which prints each value it reads." >&2
fi
if [ "$mode" = window ]; then
  tools=(tarovex-virtual-instrument tarovex)
else
  tools=(tarovex-virtual-instrument tarovex-console)
fi
echo "run.sh: building ${tools[*]} (./tools/test.sh builds everything)..." >&2
bash "$top/tools/build.sh" "${tools[@]}" >&2
bin="$top/build/tools"

work=$(mktemp -d)
instrument=""
reader=""
cleanup() {
  if [ -n "$reader" ] && kill -0 "$reader" 2>/dev/null; then
    kill -TERM "$reader" 2>/dev/null || true
    wait "$reader" 2>/dev/null || true
  fi
  if [ -n "$instrument" ] && kill -0 "$instrument" 2>/dev/null; then
    kill -TERM "$instrument" 2>/dev/null || true
    wait "$instrument" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 0' INT TERM

# In a session of its own, so that Ctrl+C reaches only the reader; the instrument is
# stopped after it, and the reader does not see its port vanish.
setsid "$bin/tarovex-virtual-instrument" --rate 0.5 >"$work/port" &
instrument=$!
for _ in $(seq 200); do
  [ -s "$work/port" ] && break
  sleep 0.05
done
port=$(head -n1 "$work/port")
if [ -z "$port" ]; then
  echo "run.sh: the virtual instrument did not start" >&2
  exit 1
fi

if [ "$mode" = window ]; then
  echo "Virtual instrument on $port, one reading every 2 s. Press Start, then click into an editor." >&2
  "$top/build/tarovex/tarovex" "$port" &
else
  echo "Virtual instrument on $port, one reading every 2 s; Ctrl+C stops." >&2
  "$bin/tarovex-console" "$port" "$@" &
fi
reader=$!
status=0
wait "$reader" || status=$?
reader=""
exit "$status"
