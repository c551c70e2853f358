#!/usr/bin/env bash
# Builds the layout-reader fuzz target with clang and runs it for a bounded time.
# Usage: fuzz/run.sh [SECONDS]   (default 60)
# Exits non-zero when the fuzzer found a crash, a leak, a hang or a round-trip fault;
# the input that caused it is left in build-fuzz/artifacts/.
set -euo pipefail

seconds="${1:-60}"
here="$(cd "$(dirname "$0")" && pwd)"
build="$here/../build-fuzz"

CXX="${CXX:-clang++}"
case "$("$CXX" --version 2>/dev/null | head -n1)" in
    *clang*) ;;
    *) CXX=clang++ ;;
esac

CXX="$CXX" cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2

# New inputs go to the build folder; the seeds in the repository stay as they are.
mkdir -p "$build/corpus" "$build/artifacts"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
"$build/fuzz_layout_reader" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=16384 \
    -print_final_stats=1 -artifact_prefix="$build/artifacts/" \
    "$build/corpus" "$here/corpus"
