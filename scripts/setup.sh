#!/usr/bin/env bash
# Installs the Debian packages the build needs when they are missing, then configures and builds.
# usage: scripts/setup.sh [BUILD_DIR [CMAKE_ARGS...]]   (default build folder: build)
# Warnings stay warnings unless CMAKE_ARGS say -DZERUB_WERROR=ON, even in a folder the test
# command configured before.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
shift || true

missing=()
for pkg in $(grep -v '^#' "$root/scripts/packages.txt"); do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'ok installed' || missing+=("$pkg")
done
if ((${#missing[@]})); then
    echo "setup: installing ${missing[*]}"
    sudo=""
    [[ $(id -u) -eq 0 ]] || sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake -S "$root" -B "$build" -G Ninja -DZERUB_WERROR=OFF "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
