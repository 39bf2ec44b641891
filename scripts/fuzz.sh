#!/usr/bin/env bash
# Runs libFuzzer targets from a fuzz build, each on a copy of its seed corpus with its dictionary.
# usage: scripts/fuzz.sh BUILD_DIR SECONDS [TARGET...]   (default: every target in the build)
# A target that is missing (did not build) or finds a crash fails the run; the crashing input is
# left in BUILD_DIR/fuzz-findings.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$1
seconds=$2
shift 2
targets=("$@")
if ((${#targets[@]} == 0)); then
    # Every target the fuzz folders declare.
    mapfile -t targets < <(sed -n 's/^zerub_fuzz(\([a-z0-9_]*\).*/\1/p' "$root"/fuzz/*/CMakeLists.txt)
fi
findings=$build/fuzz-findings
mkdir -p "$findings"
failed=0
for target in "${targets[@]}"; do
    binary=$(find "$build/fuzz" -type f -name "$target" -perm -u+x | head -n1)
    if [[ -z $binary ]]; then
        echo "fuzz: $target was not built"
        failed=1
        continue
    fi
    corpus=$(find "$root/fuzz" -type d -path "*/corpus/$target" | head -n1)
    dict=$(find "$root/fuzz" -type f -name "$target.dict" | head -n1)
    work=$build/fuzz-corpus/$target
    mkdir -p "$work"
    args=(-max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$findings/$target-")
    [[ -n $dict ]] && args+=(-dict="$dict")
    echo "fuzz: $target for ${seconds}s"
    # The new corpus folder comes first: libFuzzer adds what it finds there, not to the seeds.
    if ! LSAN_OPTIONS=suppressions=$root/tests/lsan.supp \
        "$binary" "${args[@]}" "$work" ${corpus:+"$corpus"} >"$build/fuzz-$target.log" 2>&1; then
        echo "fuzz: $target FAILED (log $build/fuzz-$target.log)"
        tail -n 30 "$build/fuzz-$target.log"
        failed=1
        continue
    fi
    grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$build/fuzz-$target.log" |
        tr '\n' ' ' | sed "s/^/fuzz: $target /;s/\$/\n/"
done
exit $failed
