#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite headless through CTest.
#   --sanitize   build into build-asan with AddressSanitizer and UndefinedBehaviorSanitizer
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/setup-deps.sh"

dir="$here/build"
opts=()
if [ "${1:-}" = "--sanitize" ]; then
    dir="$here/build-asan"
    opts+=(-DTKL_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
    export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
    export LSAN_OPTIONS="suppressions=$here/tests/lsan.supp"
fi
"$here/scripts/build.sh" "$dir" "${opts[@]}"
export QT_QPA_PLATFORM=offscreen
cd "$dir"
ctest --output-on-failure --parallel "$(nproc)"
