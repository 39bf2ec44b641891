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
# fontconfig keeps a small allocation for the life of the process; nothing of ours is listed.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    LSAN_OPTIONS=suppressions=$root/tests/lsan.supp \
    ctest --test-dir "$root/build-asan" --output-on-failure --no-tests=error -j"$jobs"
echo "test: all suites passed (optimised and sanitized)"
