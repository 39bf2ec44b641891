#!/usr/bin/env bash
# Sets up, builds and runs every test: formatting check, the suites in an optimised build, then
# the suites again under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)

"$root/scripts/setup.sh" "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
"$root/scripts/check-format.sh"
ctest --test-dir "$root/build" --output-on-failure --no-tests=error -j"$jobs"

"$root/scripts/setup.sh" "$root/build-asan" -DCMAKE_BUILD_TYPE=Debug -DZERUB_SANITIZE=ON \
    -DZERUB_BENCH=OFF
# fontconfig and GNUstep keep allocations for the life of the process; nothing of ours is listed,
# and the list of suppressions used stays off stderr, which the command-line tests compare.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0 \
    ctest --test-dir "$root/build-asan" --output-on-failure --no-tests=error -j"$jobs"
echo "test: all suites passed (optimised and sanitized)"
