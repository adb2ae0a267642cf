#!/usr/bin/env bash
# Builds the two programs it runs, then shows the acquisition at work without any hardware:
# a virtual instrument on a pseudo-terminal sends scale readings, and the console front end
# reads them with the stored settings, printing each processed value on standard output and
# its message log on standard error. Arguments go to tarovex-console (for example
# --set decimalPlaces=1).
# Ctrl+C stops both: the reader first, then the instrument.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
tools=(tarovex-virtual-instrument tarovex-console)
echo "run.sh: building ${tools[*]} (./tools/test.sh builds everything)..." >&2
bash "$top/tools/build.sh" "${tools[@]}" >&2
bin="$top/build/tools"

work=$(mktemp -d)
instrument=""
console=""
cleanup() {
  if [ -n "$console" ] && kill -0 "$console" 2>/dev/null; then
    kill -TERM "$console" 2>/dev/null || true
    wait "$console" 2>/dev/null || true
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
setsid "$bin/tarovex-virtual-instrument" --rate 2 >"$work/port" &
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
echo "Virtual instrument on $port; Ctrl+C stops." >&2

"$bin/tarovex-console" "$port" "$@" &
console=$!
status=0
wait "$console" || status=$?
console=""
exit "$status"
