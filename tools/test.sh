#!/usr/bin/env bash
# Builds and runs the whole test suite.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$top/tools/build.sh"
cd "$top/build"
ctest --output-on-failure -j"$(nproc)" "$@"
