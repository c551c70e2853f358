#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for its share of a bounded time.
# Usage: fuzz/run.sh [SECONDS] [TARGET...]   (default 60 seconds, all targets)
#   targets: layout_reader network_reader device_store values_file
# Exits non-zero when a fuzzer found a crash, a leak, a hang or a round-trip fault;
# the input that caused it is left in build-fuzz/artifacts/.
set -euo pipefail

seconds="${1:-60}"
shift || true
here="$(cd "$(dirname "$0")" && pwd)"
build="$here/../build-fuzz"

# target name, seed folder in corpus/, longest input
all=(
    "layout_reader layout 16384"
    "network_reader network 8192"
    "device_store store 8192"
    "values_file values 4096"
)
chosen=()
for entry in "${all[@]}"; do
    name="${entry%% *}"
    if [ $# -eq 0 ] || [[ " $* " == *" $name "* ]]; then
        chosen+=("$entry")
    fi
done
[ ${#chosen[@]} -gt 0 ] || { echo "no such fuzz target: $*" >&2; exit 2; }

CXX="${CXX:-clang++}"
case "$("$CXX" --version 2>/dev/null | head -n1)" in
    *clang*) ;;
    *) CXX=clang++ ;;
esac

CXX="$CXX" cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=()
for entry in "${chosen[@]}"; do targets+=("fuzz_${entry%% *}"); done
cmake --build "$build" -j2 --target "${targets[@]}"

# Readable stacks in a finding's report.
if [ -z "${ASAN_SYMBOLIZER_PATH:-}" ]; then
    for s in llvm-symbolizer-14 llvm-symbolizer; do
        if command -v "$s" >/dev/null; then
            export ASAN_SYMBOLIZER_PATH="$(command -v "$s")"
            break
        fi
    done
fi
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

# The time is shared out evenly; every target runs at least a few seconds.
share=$(( seconds / ${#chosen[@]} ))
[ "$share" -ge 5 ] || share=5
mkdir -p "$build/artifacts"
for entry in "${chosen[@]}"; do
    read -r name seeds maxlen <<<"$entry"
    # New inputs go to the build folder; the seeds in the repository stay as they are.
    mkdir -p "$build/corpus/$name"
    echo "== fuzz_$name for ${share}s"
    "$build/fuzz_$name" \
        -max_total_time="$share" -timeout=10 -rss_limit_mb=2048 -max_len="$maxlen" \
        -print_final_stats=1 -artifact_prefix="$build/artifacts/$name-" \
        "$build/corpus/$name" "$here/corpus/$seeds"
done
