#!/usr/bin/env bash
# check-deb.sh BUILD_DIR APP_ID: makes the Debian package as scripts/build-deb.sh does and
# checks its control fields and contents.
set -euo pipefail
build=$1 id=$2
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

(cd "$build" && cpack -G DEB -B "$out" >"$out/cpack.log" 2>&1) || { cat "$out/cpack.log"; exit 1; }
debs=("$out"/tkledit_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "FAIL: no single tkledit_*.deb in $(ls "$out")"; exit 1; }
deb=${debs[0]}

fail() { echo "FAIL: $*"; exit 1; }
[ "$(dpkg-deb -f "$deb" Package)" = tkledit ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Architecture)" = "$(dpkg --print-architecture)" ] || fail "architecture"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
# The libraries the programs link, as dpkg-shlibdeps finds them, and what it cannot find.
names=$(tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/ .*//')
for p in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6svg6 qt6-qpa-plugins fonts-liberation2; do
    grep -qxF "$p" <<<"$names" || fail "Depends lacks $p"
done
# Versioned, as dpkg-shlibdeps writes them: a library dependency without a version was typed by hand.
grep -Eq 'libqt6core6 \(>= [0-9]' <<<"$depends" || fail "Depends not from dpkg-shlibdeps"
# The completion does nothing without the framework, which minimal systems lack.
grep -qw bash-completion <<<"$(dpkg-deb -f "$deb" Recommends)" || fail "bash-completion is not recommended"
# The long description: no list separators from the build files, lines a terminal shows whole.
description=$(dpkg-deb -f "$deb" Description)
grep -q ';' <<<"$description" && fail "the description holds a \";\": $description"
awk 'length > 80 { exit 1 }' <<<"$description" || fail "a description line is longer than 80 characters"

contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for f in ./usr/bin/tkledit ./usr/bin/tklcli ./usr/share/tkledit/Tkl_edit.hlp ./usr/share/tkledit/erase01.ico \
         "./usr/share/applications/$id.desktop" "./usr/share/icons/hicolor/scalable/apps/$id.svg" \
         "./usr/share/metainfo/$id.metainfo.xml" ./usr/share/man/man1/tkledit.1.gz ./usr/share/man/man1/tklcli.1.gz \
         ./usr/share/bash-completion/completions/tklcli ./usr/share/doc/tkledit/copyright \
         ./usr/share/doc/tkledit/changelog.gz; do
    grep -qxF "$f" <<<"$contents" || fail "the package lacks $f"
done
if [ -e "$build/bin/tkldevsim" ]; then
    for f in ./usr/bin/tkldevsim ./usr/share/man/man1/tkldevsim.1.gz; do
        grep -qxF "$f" <<<"$contents" || fail "the package lacks $f"
    done
fi
# Nothing outside /usr, and no test or benchmark programs.
grep -v '^\./usr' <<<"$contents" | grep -vx '\./' && fail "files outside /usr"
grep -E '/(test_|bench_)' <<<"$contents" && fail "test or benchmark programs packaged"

# The programs are stripped, and run from the unpacked package.
mkdir "$out/root"
dpkg-deb -x "$deb" "$out/root"
file "$out/root/usr/bin/tkledit" | grep -q 'not stripped' && fail "tkledit is not stripped"
"$out/root/usr/bin/tklcli" --version >/dev/null || fail "the packaged tklcli does not run"
# What a distribution's reviewer runs first; where it is missing, say so rather than pass silently.
if command -v lintian >/dev/null; then
    lintian --fail-on error,warning --tag-display-limit 0 "$deb" || fail "lintian reports the above"
else
    echo "SKIP lintian: not installed (apt-get install lintian, or scripts/setup-deps.sh)"
fi
echo "package ok: $(basename "$deb"), $(wc -l <<<"$contents") entries"
