#!/usr/bin/env bash
# Cross-builds Zerub for 64-bit ARM Linux (aarch64-linux-gnu) with Debian's cross toolchain and
# arm64 multiarch libraries, installing what is missing; the target's programs run under
# qemu-aarch64 (the Turtle writer at build time, the tests).
# usage: scripts/cross-arm64.sh [BUILD_DIR [CMAKE_ARGS...]]   (default build folder: build-arm64)
# Builds the circuit and the plug-in base (in the suites below), the LV2 bundle with its UI
# (BUILD_DIR/lv2/Zerub.lv2), the component (with the windowless editor: GNUstep for arm64 is
# left out) and zerub-host, and the suites the test command runs under qemu-aarch64.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-arm64}
shift || true

# The build machine's tools, then the target's libraries (":arm64"): the LV2 DSP needs only the
# LV2 headers; the UI Xlib, cairo and Pango (its suites XTest: configured, not built here); the
# component libplist; zerub-host libsndfile; the suites GoogleTest and lilv. Header-only packages
# (CLI11) serve both from the native install.
tools=(g++-aarch64-linux-gnu qemu-user cmake ninja-build pkg-config libcli11-dev lv2-dev)
target=(libc6 libstdc++6 lv2-dev libgtest-dev liblilv-dev libx11-dev libxtst-dev libcairo2-dev
        libpango1.0-dev libpng-dev zlib1g-dev libplist-dev libsndfile1-dev)
missing=()
for pkg in "${tools[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'ok installed' || missing+=("$pkg")
done
for pkg in "${target[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg:arm64" 2>/dev/null | grep -q 'ok installed' ||
        missing+=("$pkg:arm64")
done
if ((${#missing[@]})); then
    echo "cross-arm64: installing ${missing[*]}"
    sudo=""
    [[ $(id -u) -eq 0 ]] || sudo=sudo
    dpkg --print-foreign-architectures | grep -qx arm64 || $sudo dpkg --add-architecture arm64
    # Another install in progress on the machine is waited for, not failed on.
    apt=(apt-get -o DPkg::Lock::Timeout=600)
    $sudo "${apt[@]}" update -qq
    DEBIAN_FRONTEND=noninteractive $sudo "${apt[@]}" install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
fi

launcher=()
if command -v ccache >/dev/null 2>&1; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/aarch64-linux-gnu.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZERUB_COCOA=OFF -DZERUB_BENCH=OFF "${launcher[@]}" \
    "$@" >/dev/null

# The circuit is bit-exact only when no compiler contracts a product and a sum into one
# fused multiply-add, which aarch64 compilers do unless told otherwise: every compilation says so.
if grep '"command"' "$build/compile_commands.json" | grep -v -- '-ffp-contract=off'; then
    echo "cross-arm64: the compilations above may contract floating-point operations" >&2
    exit 1
fi

# ZERUB_ARM64_TARGETS narrows the build (the test command builds only what it runs under qemu).
read -r -a targets <<<"${ZERUB_ARM64_TARGETS:-ZerubLV2 ZerubComponent zerub-host circuit_test lv2_test}"
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"
# And the audio code holds no fused instruction, whatever the flags said.
if aarch64-linux-gnu-objdump -d "$build/effect/libzerub_drive.a" |
    grep -E $'\t''(fmadd|fmsub|fnmadd|fnmsub|fmla|fmls)\b'; then
    echo "cross-arm64: fused multiply-adds in the circuit's code (above)" >&2
    exit 1
fi
echo "cross-arm64: $build/lv2/Zerub.lv2/Zerub.so: $(file -b "$build/lv2/Zerub.lv2/Zerub.so" |
    cut -d, -f1-2)"
