#!/usr/bin/env bash
# Checks what scripts/package.sh wrote, as a user and a distribution would meet it:
#   - lintian finds no error in the .deb;
#   - the .deb extracted into an empty root (dpkg -x) and the tarball's bundle unpacked into an
#     empty ~/.lv2 are each found by lilv there, and lv2apply renders through them the same bytes
#     as through the build's own bundle;
#   - the extracted zerub-host finds the extracted component beside it and renders through it
#     the same bytes as the build's zerub-host and component.
# usage: tests/package/check-package.sh DIST_DIR [BUILD_DIR]   (default build folder: build)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
dist=$1
build=$(cd "${2:-$root/build}" && pwd)
base=https://www.quillmoor.com/plugins/zerub
fail() { echo "check-package: $*" >&2; exit 1; }

deb=$(find "$dist" -maxdepth 1 -name 'zerub_*.deb' | head -n1)
tarball=$(find "$dist" -maxdepth 1 -name 'zerub-*-linux-*.tar.gz' | head -n1)
[[ -n $deb && -n $tarball ]] || fail "no .deb or tarball in $dist"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# lintian prints one tag a line, "E:" for errors; warnings and notes are shown, not counted.
lintian --tag-display-limit 0 "$deb" >"$scratch/lintian.txt" 2>&1 || true
cat "$scratch/lintian.txt"
! grep -q '^E:' "$scratch/lintian.txt" || fail "lintian reports errors in $(basename "$deb")"

dpkg -x "$deb" "$scratch/root"
for f in usr/lib/lv2/Zerub.lv2/Zerub.so usr/lib/lv2/Zerub.lv2/Zerub_ui.so \
    usr/lib/lv2/Zerub.lv2/manifest.ttl usr/lib/audio-components/Zerub.component/Contents/Info.plist \
    usr/lib/audio-components/Zerub.component/Contents/MacOS/Zerub usr/bin/zerub-host \
    usr/share/doc/zerub/copyright; do
    [[ -e $scratch/root/$f ]] || fail "the .deb holds no /$f"
done
mkdir -p "$scratch/home/.lv2"
name=$(basename "$tarball" .tar.gz)
tar -xzf "$tarball" -C "$scratch/home/.lv2" --strip-components=3 "$name/lib/lv2/Zerub.lv2"
[[ $(ls "$scratch/home/.lv2") == Zerub.lv2 ]] || fail "the tarball's bundle did not unpack alone"

# An input: one of the demo's renders (stereo, 48 kHz), made by the build's own host.
"$build/host/zerub-host" render --demo "$scratch/demo" >/dev/null
input=$(find "$scratch/demo" -name '*.wav' | sort | head -n1)
[[ -n $input ]] || fail "the demo wrote no audio"

# The samples of two WAV files alike, byte for byte (the headers carry a time stamp).
same_audio() {
    local a b
    a=$(grep -obUa data "$1" | head -n1 | cut -d: -f1)
    b=$(grep -obUa data "$2" | head -n1 | cut -d: -f1)
    [[ -n $a && -n $b ]] && cmp -s <(tail -c +$((a + 1)) "$1") <(tail -c +$((b + 1)) "$2")
}
apply() { # LV2_DIR OUT: the mono plug-in driven (the input is mono), through the bundle in LV2_DIR
    LV2_PATH=$1 lv2apply -i "$input" -o "$2" -c gain 0.8 -c level 0.35 "$base#mono"
}
mkdir -p "$scratch/built"
ln -s "$build/lv2/Zerub.lv2" "$scratch/built/Zerub.lv2"
apply "$scratch/built" "$scratch/built.wav"
for where in root/usr/lib/lv2 home/.lv2; do
    found=$(LV2_PATH=$scratch/$where lv2ls | grep -c "^$base#" || true)
    [[ $found == 2 ]] || fail "lilv finds $found Zerub plug-ins in $where, not 2"
    apply "$scratch/$where" "$scratch/out.wav"
    same_audio "$scratch/built.wav" "$scratch/out.wav" || fail "lv2apply through $where differs"
    echo "check-package: $where: both plug-ins found, lv2apply bit-exact"
done

host=$scratch/root/usr/bin/zerub-host
component=$scratch/root/usr/lib/audio-components/Zerub.component
# The list names no paths: the installed component beside the host is a second Zerub beside the
# build folder's.
listed=$("$host" list | grep -c ' Zerub' || true)
((listed >= 2)) || fail "the extracted zerub-host finds no component beside it"
"$host" render "$input" "$scratch/host.wav" --component "$component" --param Gain=0.8
"$build/host/zerub-host" render "$input" "$scratch/built-host.wav" \
    --component "$build/Zerub.component" --param Gain=0.8
same_audio "$scratch/host.wav" "$scratch/built-host.wav" ||
    fail "the extracted zerub-host renders otherwise"
echo "check-package: extracted zerub-host and component: found, render bit-exact"
