#!/usr/bin/env bash
# check-deb-targets.sh SOURCE_DIR: configures as scripts/build-deb.sh does and checks that
# building it makes the installed programs and nothing else that takes long: no test and
# no benchmark is among what the package build compiles.
set -euo pipefail
source=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

"$source/scripts/build-deb.sh" --configure-only "$dir/build"
executables=$(ninja -C "$dir/build" -t targets all | sed -n 's|^\(bin/[^:]*\): CXX_EXECUTABLE_LINKER.*|\1|p' | sort)
echo "executables: $(tr '\n' ' ' <<<"$executables")"
[ "$executables" = "$(printf '%s\n' bin/tkldevsim bin/tkledit bin/tklcli | sort)" ] \
    || { echo "FAIL: the package build makes other executables than the three installed programs"; exit 1; }
