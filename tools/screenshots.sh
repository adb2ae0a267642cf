#!/usr/bin/env bash
# Renders every tab of the window (stopped, and the start tab with the last reading, stable and
# unstable, two instruments in its table, and the log while running on a pseudo-terminal) and
# the settings dialogs to PNG files, on the offscreen platform. Usage: tools/screenshots.sh [DIR]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$top/build/screenshots}")
bash "$top/tools/setup.sh"
cmake -S "$top" -B "$top/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$top/build" --target ui_tests >/dev/null
mkdir -p "$out"
# One process each: the port detection's test installs the simulated serial driver.
for filter in 'Window.Screens:Window.StartOnAPty*:Window.TheStartTabShows*:Window.TheStartTabTells*:Window.ANetworkPort*:Window.TwoInstruments*:Window.TheTabsEdit*' 'WindowAutoPort.FindPort*' 'AutoPortDialogTest.Shows*' \
  'DoctorDialogTest.*'; do
  TAROVEX_SCREENSHOT_DIR="$out" QT_QPA_PLATFORM=offscreen "$top/build/tests/ui_tests" \
    --gtest_filter="$filter" >/dev/null 2>&1
done
echo "Screenshots in $out:"
ls "$out"
