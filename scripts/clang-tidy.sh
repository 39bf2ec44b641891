#!/usr/bin/env bash
# Runs clang-tidy (.clang-tidy at the root) over the C and C++ sources of a build's compile
# database, a source at a time on every core; any finding fails the run.
# usage: scripts/clang-tidy.sh BUILD_DIR [FOLDER...]
#   BUILD_DIR: a configured tree, normally build/ (preset release: the flags the product ships
#   with, and the tree every test run and the demo configure).
#   FOLDER: top-level folders to check (default: every folder of the shipped code; the suites,
#   benchmarks and fuzzers are left out, as are Objective-C++ files, whose GNUstep flags are gcc's).
# A source whose commands, own text and included files (the build's dependency records), the
# configuration and clang-tidy are as at its last clean check is not checked again: the results
# are kept in BUILD_DIR/clang-tidy-clean. The records are trusted only when ninja says the
# source's objects are up to date; otherwise the source is checked.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: scripts/clang-tidy.sh BUILD_DIR [FOLDER...]}" && pwd)
shift
folders=("$@")
((${#folders[@]})) ||
    folders=(containers platform gdi raster plugin editor au lv2 effect resources host tools)

clean=$build/clang-tidy-clean
mkdir -p "$clean"
# One line per source: file, the objects it builds (whose dependency records name the headers),
# and a digest of every command that builds it (clang-tidy checks each of them).
pattern="^$root/($(
    IFS='|'
    echo "${folders[*]}"
))/.*\\.(c|cpp)\$"
mapfile -t entries < <(python3 - "$build/compile_commands.json" "$pattern" <<'EOF'
import hashlib, json, re, shlex, sys
sources = {}
for e in json.load(open(sys.argv[1])):
    if re.match(sys.argv[2], e["file"]):
        sources.setdefault(e["file"], []).append(e)
def output(e):
    if "output" in e:
        return e["output"]
    words = e["arguments"] if "arguments" in e else shlex.split(e["command"])
    return words[words.index("-o") + 1] if "-o" in words[:-1] else ""
for f, es in sources.items():
    digest = hashlib.sha256(json.dumps(es, sort_keys=True).encode()).hexdigest()
    print("\t".join([f, " ".join(output(e) for e in es), digest]))
EOF
)
((${#entries[@]})) || {
    echo "clang-tidy: no sources of ${folders[*]} in $build/compile_commands.json" >&2
    exit 1
}

tool_key=$( (
    clang-tidy --version
    cat "$root/.clang-tidy"
) | sha256sum | cut -c1-64)
export build root clean tool_key
check() {
    local file object commands key="" deps=""
    IFS=$'\t' read -r file object commands <<<"$1"
    # Everything the result depends on: the tool, the configuration, the commands, the source and
    # the files it includes. Without an up-to-date record of those, no shortcut.
    local o f path records
    for o in $object; do
        records=$(cd "$build" && ninja -t deps "$o" 2>/dev/null | sed -n 's/^    //p')
        # A record is only as good as its object: none when an input is newer (edited since the
        # build) or gone.
        while [[ -n $records ]] && read -r f; do
            path=$f
            [[ $path == /* ]] || path=$build/$f
            [[ -e $path && ! $path -nt $build/$o ]] || records=""
        done <<<"$records"
        [[ -n $records ]] || {
            deps=""
            break
        }
        deps+=${deps:+$'\n'}$records
    done
    if [[ -n $deps ]]; then
        key=$( (
            echo "$tool_key $commands"
            cd "$build" && xargs -r -d '\n' cat <<<"$deps"
        ) | sha256sum | cut -c1-64)
        [[ -f $clean/$key ]] && return 0
    else
        key=unrecorded-$$-$RANDOM
    fi
    if clang-tidy -p "$build" --quiet "$file" >"$clean/$key.log" 2>&1; then
        if [[ $key == unrecorded-* ]]; then
            rm -f "$clean/$key.log"
        else
            mv "$clean/$key.log" "$clean/$key"
        fi
    else
        # Only the findings, not clang-tidy's count of suppressed ones.
        grep -v -E '^[0-9]+ warnings? (generated|treated as errors)|^Suppressed|^Use -header-filter' \
            "$clean/$key.log" >&2
        rm -f "$clean/$key.log"
        return 1
    fi
}
export -f check
# shellcheck disable=SC2016 # $1 is the inner shell's
printf '%s\n' "${entries[@]}" |
    xargs -d '\n' -P "$(nproc)" -I{} bash -c 'check "$1"' _ {} ||
    {
        echo "clang-tidy: findings above" >&2
        exit 1
    }
echo "clang-tidy: ${#entries[@]} sources of ${folders[*]} clean"
