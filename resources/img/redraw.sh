#!/usr/bin/env bash
# Builds zerub-draw-artwork and rewrites BG.png, GAIN.png, LEVEL.png, BYPASS.png and HQ.png and their
# @2x, @3x and @4x sets in place.
# usage: resources/img/redraw.sh [BUILD_DIR] [-- extra program arguments, e.g. --preview FILE]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$root/build-art
if [[ $# -gt 0 && $1 != -- ]]; then
    build=$1
    shift
fi
[[ ${1:-} == -- ]] && shift
cmake -S "$root" -B "$build" -G Ninja -DZERUB_FOLDERS=resources -DZERUB_TESTS=OFF \
    -DZERUB_BENCH=OFF >/dev/null
cmake --build "$build" --target zerub-draw-artwork >/dev/null
exe=$(find "$build" -name zerub-draw-artwork -type f -perm -u+x | head -n 1)
"$exe" "$here" "$@"
