#!/usr/bin/env bash
# Sets up, builds and runs every test, each build from a preset of CMakePresets.json:
#   1. formatting check, the optimised gcc build (preset release, the demo's build), clang-tidy
#      over the shipped code from that build's compile database (scripts/clang-tidy.sh), the
#      suites in that build, then the tarball and the Debian package built from it and checked
#      (lintian, lilv and lv2apply on what they install);
#   2. one clang build under AddressSanitizer and UndefinedBehaviorSanitizer (with the checks
#      gcc lacks, such as -fsanitize=function) that also holds the libFuzzer targets (presets asan
#      and fuzz share the tree): the suites run in it, then every fuzz target runs for a short time
#      from its seed corpus;
#   3. a ThreadSanitizer build (preset tsan) of the platform, the component and the LV2 bundle,
#      whose suites and stress tests (a render thread against a control thread; a host saving while
#      the LV2 plug-in runs) must run without a report.
# Every build here treats warnings as errors (the users' build, scripts/setup.sh alone, does not).
# Each stage prints how long it took.
# usage: scripts/test.sh [--quick]
#   --quick: stage 1 only, without the session in a real DAW: the edit-test loop.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc)
fuzz_seconds=${ZERUB_FUZZ_SECONDS:-20}
quick=0
case ${1:-} in
--quick) quick=1 ;;
"") ;;
*)
    echo "usage: scripts/test.sh [--quick]" >&2
    exit 2
    ;;
esac

stage_start=$SECONDS
stage() {
    echo "test: $1 done in $((SECONDS - stage_start)) s"
    stage_start=$SECONDS
}

"$root/scripts/setup.sh" --preset release
"$root/scripts/check-format.sh"
stage "optimised build"
if ((quick)); then
    ctest --preset quick -j"$jobs"
    stage "optimised suites"
    echo "test: the optimised suites passed (quick: no DAW session, sanitizers or fuzzing)"
    exit 0
fi
# Before the suites, so that a finding fails early; sources unchanged since their last clean
# check (by the build's dependency records) are not checked again.
"$root/scripts/clang-tidy.sh" "$root/build"
stage "clang-tidy"
ctest --preset release -j"$jobs"
stage "optimised suites"

# --- packages: the tarball and the .deb from the optimised build, checked as users meet them ---
"$root/scripts/package.sh" "$root/out/dist-test"
"$root/tests/package/check-package.sh" "$root/out/dist-test" "$root/build"
rm -rf "$root/out/dist-test"
stage "packages"
# --- end of packages ---

# setup.sh installs clang with the other packages; the sanitized builds use it. fontconfig keeps
# allocations for the life of the process; the asan test preset lists the suppressions.
"$root/scripts/setup.sh" --preset asan
cmake --build --preset fuzz -j"$jobs"
stage "sanitized build (with the fuzz targets)"
ctest --preset asan -j"$jobs"
stage "sanitized suites"
"$root/scripts/fuzz.sh" "$root/build-asan" "$fuzz_seconds"
stage "fuzz targets"

tsan_tests=(platform_test au_test au_component_test au_stress_test lv2_stress_test)
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j"$jobs" --target "${tsan_tests[@]}"
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
