#!/usr/bin/env bash
# Sets up, builds and runs every test, each build from a preset of CMakePresets.json:
#   1. formatting check, the suites in the optimised gcc build (preset release, the demo's build);
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
ctest --preset release -j"$jobs"
stage "optimised suites"

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
echo "test: all suites passed (optimised, sanitized, fuzzed, thread-sanitized)"
