#!/usr/bin/env bash
# Sets up, builds and runs every test:
#   1. formatting check, the suites in an optimised gcc build, then the tarball and the Debian
#      package built from it and checked (lintian, lilv and lv2apply on what they install);
#   2. one clang build under AddressSanitizer and UndefinedBehaviorSanitizer (with the checks
#      gcc lacks, such as -fsanitize=function) that also holds the libFuzzer targets: the suites
#      run in it, then every fuzz target runs for a short time from its seed corpus;
#   3. a ThreadSanitizer build of the platform, the component and the LV2 bundle, whose suites and
#      stress tests (a render thread against a control thread; a host saving while the LV2 plug-in
#      runs) must run without a report.
# Every build here treats warnings as errors (the users' build, scripts/setup.sh alone, does not).
# Each stage prints how long it took.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
fuzz_seconds=${ZERUB_FUZZ_SECONDS:-20}

stage_start=$SECONDS
stage() {
    echo "test: $1 done in $((SECONDS - stage_start)) s"
    stage_start=$SECONDS
}

"$root/scripts/setup.sh" "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZERUB_WERROR=ON
"$root/scripts/check-format.sh"
stage "optimised build"
ctest --test-dir "$root/build" --output-on-failure --no-tests=error -j"$jobs"
stage "optimised suites"

# --- packages: the tarball and the .deb from the optimised build, checked as users meet them ---
"$root/scripts/package.sh" "$root/out/dist-test"
"$root/tests/package/check-package.sh" "$root/out/dist-test" "$root/build"
rm -rf "$root/out/dist-test"
stage "packages"
# --- end of packages ---

# setup.sh installs clang with the other packages; the sanitized builds use it.
CC=clang CXX=clang++ "$root/scripts/setup.sh" "$root/build-asan" -DCMAKE_BUILD_TYPE=Debug \
    -DZERUB_SANITIZE=ON -DZERUB_FUZZ=ON -DZERUB_BENCH=OFF -DZERUB_WERROR=ON
stage "sanitized build (with the fuzz targets)"
# fontconfig keeps allocations for the life of the process; nothing of ours is listed, and the
# list of suppressions used stays off stderr, which the command-line tests compare.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0 \
    ctest --test-dir "$root/build-asan" --output-on-failure --no-tests=error -j"$jobs"
stage "sanitized suites"
"$root/scripts/fuzz.sh" "$root/build-asan" "$fuzz_seconds"
stage "fuzz targets"

tsan_tests=(platform_test au_test au_component_test au_stress_test lv2_stress_test)
CC=clang CXX=clang++ cmake -S "$root" -B "$root/build-tsan" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZERUB_TSAN=ON -DZERUB_BENCH=OFF -DZERUB_COCOA=OFF \
    -DZERUB_WERROR=ON >/dev/null
cmake --build "$root/build-tsan" -j"$jobs" --target "${tsan_tests[@]}"
stage "thread-sanitized build"
for t in "${tsan_tests[@]}"; do
    binary=$(find "$root/build-tsan/tests" -type f -name "$t" -perm -u+x | head -n1)
    echo "test: $t under ThreadSanitizer"
    TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$root/tests/tsan.supp" \
        "$binary" --gtest_brief=1
done
stage "thread-sanitized suites"

# ---- 64-bit ARM (aarch64) -------------------------------------------------------------------
# The cross build (scripts/cross-arm64.sh: Debian's cross toolchain and arm64 libraries), then
# under qemu-aarch64 the circuit's suite and the LV2 bundle's suite in a lilv host, whose
# bit-exact cases compare the output with the hashes written on x86-64.
ZERUB_ARM64_TARGETS="circuit_test lv2_test" "$root/scripts/cross-arm64.sh" "$root/build-arm64" \
    -DZERUB_WERROR=ON
stage "arm64 cross build"
for t in effect/circuit_test lv2/lv2_test; do
    echo "test: $(basename "$t") under qemu-aarch64"
    qemu-aarch64 "$root/build-arm64/tests/$t" --gtest_brief=1
done
stage "arm64 suites under qemu-aarch64"
# ---- end of 64-bit ARM ----------------------------------------------------------------------
echo "test: all suites passed (optimised, sanitized, fuzzed, thread-sanitized)"
