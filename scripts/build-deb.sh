#!/usr/bin/env bash
# Builds the Debian package tkledit_<version>_<arch>.deb into dist-out/ (or DIR):
#   scripts/build-deb.sh [DIR]
# Install it with `sudo apt install ./dist-out/tkledit_*.deb`.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
out="$(realpath -m "${1:-$here/dist-out}")"
"$here/scripts/setup-deps.sh"
BUILD_TYPE=Release "$here/scripts/build.sh" "$here/build-deb" -DCMAKE_INSTALL_PREFIX=/usr -DTKL_WERROR=OFF
mkdir -p "$out"
cd "$here/build-deb"
cpack -G DEB -B "$out" >/dev/null
rm -rf "$out/_CPack_Packages"
ls "$out"/tkledit_*.deb
