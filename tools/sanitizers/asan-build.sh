#!/usr/bin/env bash
# Configures build-asan/ (once) and builds the targets named as arguments, or everything:
# clang with AddressSanitizer, UndefinedBehaviorSanitizer (-fno-sanitize-recover) and the
# fuzzer's coverage instrumentation. tools/sanitize.sh runs the suite from it and
# tools/fuzz.sh the fuzz targets, so one instrumented build serves both.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
build="$top/build-asan"
source "$top/tools/sanitizers/asan-env.sh"
if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTAROVEX_FUZZ=ON -DTAROVEX_BUILD_BENCH=OFF >/dev/null
fi
targets=()
for t in "$@"; do targets+=(--target "$t"); done
cmake --build "$build" -j"$(nproc)" "${targets[@]}"
