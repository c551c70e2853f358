#!/usr/bin/env bash
# check-install.sh BUILD_DIR SOURCE_DIR APP_ID: installs into a temporary prefix and
# checks what lands where, the desktop files with the desktop's validators, and that
# the installed programs run.
set -euo pipefail
build=$1 source=$2 id=$3
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null

expected=(
    bin/tklcli
    bin/tkledit
    share/applications/$id.desktop
    share/bash-completion/completions/tklcli
    share/doc/tkledit/copyright
    share/icons/hicolor/scalable/apps/$id.svg
    share/man/man1/tklcli.1
    share/man/man1/tkledit.1
    share/metainfo/$id.metainfo.xml
    share/tkledit/Tkl_edit.hlp
    share/tkledit/erase01.ico
)
[ -e "$build/bin/tkldevsim" ] && expected+=(bin/tkldevsim)
for f in "$source"/examples/*; do
    expected+=("share/doc/tkledit/examples/$(basename "$f")")
done

diff -u <(printf '%s\n' "${expected[@]}" | LC_ALL=C sort) \
        <(cd "$prefix" && find . -type f -printf '%P\n' | LC_ALL=C sort) \
    || { echo "FAIL: the installed files differ from the list above (- expected, + installed)"; exit 1; }

for f in bin/tkledit bin/tklcli; do
    [ -x "$prefix/$f" ] || { echo "FAIL: $f is not executable"; exit 1; }
done

desktop-file-validate "$prefix/share/applications/$id.desktop"
appstreamcli validate --no-net --pedantic "$prefix/share/metainfo/$id.metainfo.xml" >/dev/null \
    || appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml"
# The desktop entry's icon is the installed one, and its program is the installed one.
grep -qx "Icon=$id" "$prefix/share/applications/$id.desktop"
grep -q '^Exec=tkledit ' "$prefix/share/applications/$id.desktop"
bash -n "$prefix/share/bash-completion/completions/tklcli"

# Both programs answer --version without a display.
version=$(sed -n 's/^project(TicketLayoutEditor VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")
[ "$(env -u DISPLAY -u WAYLAND_DISPLAY "$prefix/bin/tkledit" --version)" = "tkledit $version" ] \
    || { echo "FAIL: tkledit --version"; exit 1; }
[ "$("$prefix/bin/tklcli" --version)" = "tklcli $version" ] || { echo "FAIL: tklcli --version"; exit 1; }
env -u DISPLAY "$prefix/bin/tkledit" --help | grep -q '^Usage: tkledit'
# The man pages name the version the programs report.
grep -q "\"tkledit $version\"" "$prefix/share/man/man1/tkledit.1"
grep -q "\"tkledit $version\"" "$prefix/share/man/man1/tklcli.1"
echo "install tree ok: ${#expected[@]} files"
