#!/usr/bin/env bash
# Builds and runs the program.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$top/tools/build.sh" >&2
exec "$top/build/tools/tarovex-presets" "$@"
