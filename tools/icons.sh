#!/usr/bin/env bash
# Renders the window icons from their drawing; the PNGs are committed beside it.
set -euo pipefail
dir=$(cd "$(dirname "$0")/.." && pwd)/tarovex/ui/icons
for size in 32 24 20 16; do
  rsvg-convert -w "$size" -h "$size" "$dir/tarovex.svg" -o "$dir/tarovex$size.png"
done
