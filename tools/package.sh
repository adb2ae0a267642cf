#!/usr/bin/env bash
# Builds the Debian package into build/: the programs, their manual pages, the desktop
# entry, icons and metadata, the uinput rule and the shared settings folder.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$top/tools/build.sh"
cmake --build "$top/build" --target manpages
cd "$top/build"
rm -f tarovex_*.deb tarovex-dbgsym_*.ddeb
cpack -G DEB >/dev/null
ls "$top"/build/tarovex_*.deb
