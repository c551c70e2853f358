#!/usr/bin/env bash
# Builds the Debian package tkledit_<version>_<arch>.deb into dist-out/ (or DIR):
#   scripts/build-deb.sh [DIR]
#   scripts/build-deb.sh --configure-only BUILD_DIR   (configure as for the package, build nothing)
# Install it with `sudo apt install ./dist-out/tkledit_*.deb`. Only what the package
# holds is built: the programs, their libraries, the compressed pages; no tests.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
options=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DTKL_WERROR=OFF -DBUILD_TESTING=OFF)
if [ "${1:-}" = "--configure-only" ]; then
    cmake -S "$here" -B "$2" "${options[@]}" >/dev/null
    exit
fi
out="$(realpath -m "${1:-$here/dist-out}")"
"$here/scripts/setup-deps.sh"
cmake -S "$here" -B "$here/build-deb" "${options[@]}" >/dev/null
cmake --build "$here/build-deb" --parallel "$(nproc)"
mkdir -p "$out"
cd "$here/build-deb"
cpack -G DEB -B "$out" >/dev/null
rm -rf "$out/_CPack_Packages"
ls "$out"/tkledit_*.deb
