#!/usr/bin/env bash
# Builds everything and runs the whole test suite; arguments go to ctest (for example
# -R Console to run only the tests whose names match).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
# The package test checks the package this builds.
bash "$top/tools/package.sh" >/dev/null
cd "$top/build"
# A test that fails is run once more before it counts: the X keystroke tests share one
# X server with the client they type into, and a rare lost event there is not a fault of
# the code under test. A real fault fails both times.
ctest --output-on-failure -j"$(nproc)" -C RelWithDebInfo --repeat until-pass:2 "$@"
