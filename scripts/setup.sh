#!/usr/bin/env bash
# Installs the Debian packages the build needs when they are missing, then configures and builds.
# usage: scripts/setup.sh [BUILD_DIR [CMAKE_ARGS...]]   (default build folder: build)
#        scripts/setup.sh --preset NAME [CMAKE_ARGS...]    (a preset of CMakePresets.json)
# Warnings stay warnings unless CMAKE_ARGS say -DZERUB_WERROR=ON, even in a folder the test
# command configured before. The presets treat them as errors.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
preset=""
if [[ ${1:-} == --preset ]]; then
    preset=${2:?setup: --preset needs a name}
    shift 2
else
    build=${1:-$root/build}
    shift || true
fi

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

if [[ -n $preset ]]; then
    # Presets name source-relative folders, and cmake reads them from the current directory.
    cd "$root"
    cmake --preset "$preset" "$@" >/dev/null
    cmake --build --preset "$preset" -j"$(nproc)"
else
    cmake -S "$root" -B "$build" -G Ninja -DZERUB_WERROR=OFF "$@" >/dev/null
    cmake --build "$build" -j"$(nproc)"
fi
