#!/usr/bin/env bash
# Builds everything and runs the whole test suite; arguments go to ctest (for example
# -R Console to run only the tests whose names match).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
# The package test checks the package this builds.
bash "$top/tools/package.sh" >/dev/null
cd "$top/build"
ctest --output-on-failure -j"$(nproc)" -C RelWithDebInfo "$@"
