#!/usr/bin/env bash
# Installs what is missing, builds the editor (not the tests), and starts it on the
# built-in sample network. Arguments go to the editor: a layout file to open, --help.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/setup-deps.sh"
BUILD_TARGET=tkledit "$here/scripts/build.sh" "$here/build"
exec "$here/build/bin/tkledit" "$@"
