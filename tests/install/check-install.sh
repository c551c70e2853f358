#!/usr/bin/env bash
# check-install.sh BUILD_DIR SOURCE_DIR APP_ID: installs into a temporary prefix and
# checks what lands where, the desktop files with the desktop's validators, and that
# the installed programs run.
set -euo pipefail
build=$1 source=$2 id=$3
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null

expected=(bin/tklcli bin/tkledit share/applications/$id.desktop share/bash-completion/completions/tklcli
          share/doc/tkledit/changelog.gz share/doc/tkledit/copyright share/icons/hicolor/scalable/apps/$id.svg
          share/man/man1/tklcli.1.gz share/man/man1/tkledit.1.gz share/metainfo/$id.metainfo.xml
          share/tkledit/Tkl_edit.hlp share/tkledit/erase01.ico)
[ -e "$build/bin/tkldevsim" ] && expected+=(bin/tkldevsim share/man/man1/tkldevsim.1.gz)
for f in "$source"/examples/*; do
    expected+=("share/doc/tkledit/examples/$(basename "$f")")
done

diff -u <(printf '%s\n' "${expected[@]}" | LC_ALL=C sort) \
        <(cd "$prefix" && find . -type f -printf '%P\n' | LC_ALL=C sort) \
    || { echo "FAIL: the installed files differ from the list above (- expected, + installed)"; exit 1; }

desktop-file-validate "$prefix/share/applications/$id.desktop"
appstreamcli validate --no-net --pedantic "$prefix/share/metainfo/$id.metainfo.xml" >/dev/null \
    || appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml"
# The desktop entry's icon is the installed one, and its program is the installed one.
grep -qx "Icon=$id" "$prefix/share/applications/$id.desktop"
grep -q '^Exec=tkledit ' "$prefix/share/applications/$id.desktop"
bash -n "$prefix/share/bash-completion/completions/tklcli"

# Both programs run, and answer --version without a display.
version=$(sed -n 's/^project(TicketLayoutEditor VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")
[ "$(env -u DISPLAY -u WAYLAND_DISPLAY "$prefix/bin/tkledit" --version)" = "tkledit $version" ] \
    || { echo "FAIL: tkledit --version"; exit 1; }
[ "$("$prefix/bin/tklcli" --version)" = "tklcli $version" ] || { echo "FAIL: tklcli --version"; exit 1; }
env -u DISPLAY "$prefix/bin/tkledit" --help | grep -q '^Usage: tkledit'
# The man pages name the version the programs report.
for page in "$prefix"/share/man/man1/*.1.gz; do
    zgrep -q "\"tkledit $version\"" "$page" || { echo "FAIL: $(basename "$page") does not name $version"; exit 1; }
done
# The changelog's newest entry is this version.
[ "$(zcat "$prefix/share/doc/tkledit/changelog.gz" | head -1 | sed 's/^tkledit (\([^)]*\)).*/\1/')" = "$version" ] \
    || { echo "FAIL: the changelog does not begin with version $version"; exit 1; }
# Every option the editor's manual page lists is one it takes (each answers without a display).
for option in $(zcat "$prefix/share/man/man1/tkledit.1.gz" | sed -n '/^\.SH OPTIONS/,/^\.SH /p' \
                | grep -o '\\-[-a-z\\]*' | sed 's/\\//g'); do
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/tkledit" "$option" >/dev/null \
        || { echo "FAIL: tkledit $option, listed in its manual page, is refused"; exit 1; }
done
# Without a display the editor says what is missing in one line, not in the window
# system's words, and so does the script that builds and starts it, before building.
said=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/tkledit" 2>&1 >/dev/null) && status=0 || status=$?
[ "$status" = 1 ] && [ "$(wc -l <<<"$said")" = 1 ] && grep -q '^tkledit: no display.*xvfb-run.*QT_QPA_PLATFORM=offscreen' <<<"$said" \
    || { echo "FAIL: tkledit without a display exited $status and said: $said"; exit 1; }
# A copy of the script in a tree of its own, so that one that went on to build would
# find nothing to build with.
mkdir "$prefix/tree" && cp -r "$source/scripts" "$prefix/tree/"
said=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 20 "$prefix/tree/scripts/run-editor.sh" 2>&1) && status=0 || status=$?
[ "$status" = 1 ] && grep -q 'no display.*xvfb-run' <<<"$said" \
    || { echo "FAIL: run-editor.sh without a display exited $status and said: $said"; exit 1; }
rm -rf "$prefix/tree"
echo "install tree ok: ${#expected[@]} files"
