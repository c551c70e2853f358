#!/usr/bin/env bash
# check-deb.sh BUILD_DIR: makes the Debian package as scripts/build-deb.sh does and
# checks its control fields and contents.
set -euo pipefail
build=$1
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

# The package holds the files the install puts in place (which install_tree checks, one by
# one), under /usr, and nothing else.
contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
cmake --install "$build" --prefix "$out/tree/usr" >/dev/null
diff -u <(cd "$out/tree" && find . ! -type d -printf './%P\n' | LC_ALL=C sort) \
        <(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | LC_ALL=C sort) \
    || fail "the package's files differ from the installed ones (- installed, + packaged)"
grep -v '^\./usr' <<<"$contents" | grep -vx '\./' && fail "files outside /usr"

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
