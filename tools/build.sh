#!/usr/bin/env bash
# Installs what is missing, then configures and builds into build/: the targets named as
# arguments, or everything. A build/ configured earlier keeps its generator and settings.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build"
bash "$top/tools/setup.sh"
if [ -f "$build/CMakeCache.txt" ]; then
  # Naming a generator other than the cached one is an error; without -G cmake reuses it.
  cmake -S "$top" -B "$build" >/dev/null
else
  cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
targets=()
for t in "$@"; do
  targets+=(--target "$t")
done
# --config matters only to a multi-config generator (Ninja Multi-Config, Xcode).
cmake --build "$build" --config RelWithDebInfo -j"$(nproc)" "${targets[@]}"
