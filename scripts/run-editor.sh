#!/usr/bin/env bash
# Installs what is missing, builds the editor (not the tests), and starts it on the
# built-in sample network. Arguments go to the editor: a layout file to open, --help.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"

# Without a display the editor cannot open its window: say so before a long build.
# --help and --version answer without one.
needs_display=1
for arg in "$@"; do
    case $arg in -h|--help|--version) needs_display=0 ;; esac
done
if [ $needs_display = 1 ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] \
        && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "run-editor.sh: no display (DISPLAY is not set). Run it on a desktop, under" \
         "\`xvfb-run -a ./scripts/run-editor.sh\`, or with QT_QPA_PLATFORM=offscreen" \
         "for a start without a window." >&2
    exit 1
fi

"$here/scripts/setup-deps.sh"
BUILD_TARGET=tkledit "$here/scripts/build.sh" "$here/build"
exec "$here/build/bin/tkledit" "$@"
