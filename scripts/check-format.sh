#!/usr/bin/env bash
# Fails when a tracked or new C/C++ source differs from .clang-format.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
mapfile -t files < <(git ls-files --cached --others --exclude-standard \
    '*.h' '*.hpp' '*.c' '*.cpp' '*.mm' | while read -r f; do [[ -f $f ]] && echo "$f"; done)
((${#files[@]})) || exit 0
clang-format --dry-run --Werror "${files[@]}"
