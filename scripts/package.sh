#!/usr/bin/env bash
# Builds the release packages from one install tree of the optimised build:
#   DIR/zerub-VERSION-linux-ARCH.tar.gz   the tree under zerub-VERSION-linux-ARCH/ (bin/zerub-host,
#                                          lib/lv2/Zerub.lv2, lib/audio-components/Zerub.component,
#                                          lib/zerub, share/doc/zerub with README and licence notes)
#   DIR/zerub_VERSION_DEBARCH.deb          the same tree under /usr, built with CPack
# usage: scripts/package.sh [DIR]   (default out/dist; the build folder is ZERUB_BUILD_DIR or build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dist=${1:-$root/out/dist}
build=${ZERUB_BUILD_DIR:-$root/build}

if [[ ! -f $build/CMakeCache.txt ]]; then
    "$root/scripts/setup.sh" "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" -j"$(nproc)" --target ZerubLV2 ZerubLV2UI ZerubComponent zerub-host
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
arch=$(uname -m)
name=zerub-$version-linux-$arch
mkdir -p "$dist"
dist=$(cd "$dist" && pwd)
work=$(mktemp -d "$dist/.package-XXXXXX")
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --component package --prefix "$work/$name" --strip >/dev/null
# Owner, order and times fixed, so the same tree gives the same archive.
tar --sort=name --owner=0 --group=0 --numeric-owner --mtime=@0 -C "$work" -cf - "$name" |
    gzip -9n >"$work/$name.tar.gz"
mv "$work/$name.tar.gz" "$dist/"
echo "package: $dist/$name.tar.gz"

(cd "$work" && cpack --config "$build/CPackConfig.cmake" -B "$work/cpack" >/dev/null)
deb=$(find "$work/cpack" -maxdepth 1 -name '*.deb' | head -n1)
[[ -n $deb ]] || { echo "package: CPack wrote no .deb" >&2; exit 1; }
mv "$deb" "$dist/"
echo "package: $dist/$(basename "$deb")"
