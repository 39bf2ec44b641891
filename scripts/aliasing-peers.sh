#!/usr/bin/env bash
# The aliasing table of the README: Zerub in Standard and HQ and its Debian peers (the plug-ins of
# scripts/bench-peers.sh), each measured from outside by build/tools/aliasing/zerub-aliasing. A
# peer's drive control plays Gain (the middle and the top of its range, or the values given);
# its other controls stay at their defaults unless set below.
#
# Usage: scripts/aliasing-peers.sh [--build DIR] [--no-install]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
install=1
while (($#)); do
    case $1 in
    --build) build=$2; shift 2 ;;
    --no-install) install=0; shift ;;
    *) echo "aliasing-peers: unknown argument $1" >&2; exit 2 ;;
    esac
done

if ((install)); then
    source "$root/scripts/peers.sh"
    install_peers aliasing-peers
fi

cmake --build "$build" --target zerub-aliasing >&2
tool=$build/tools/aliasing/zerub-aliasing

# Label, URI, the drive control, then other controls (SYMBOL=VALUE).
peers=(
    "GxTubeScreamer|http://guitarix.sourceforge.net/plugins/gxts9#ts9sim|fslider2_"
    "GxMXR Distortion|http://guitarix.sourceforge.net/plugins/gx_mxrdist_#_mxrdist_|DRIVE"
    "GxMuff (no drive control)|http://guitarix.sourceforge.net/plugins/gx_muff_#_muff_|"
    "Calf Saturator|http://calf.sourceforge.net/plugins/Saturator|drive"
    "Invada Tube Distortion|http://invadarecords.com/plugins/lv2/tube/stereo|drive|mix=100"
    # A peak limiter, not a drive: 6 and 12 dB into it for Gain 0.5 and 1.
    "LSP Limiter Stereo|http://lsp-plug.in/plugins/lv2/limiter_stereo|g_in=2,4"
)

args=()
for entry in "${peers[@]}"; do
    IFS='|' read -r label uri drive extra <<<"$entry"
    if ! lv2info "$uri" >/dev/null 2>&1; then
        echo "aliasing-peers: skipping $label (not installed)" >&2
        continue
    fi
    args+=(--plugin "$uri" --label "$label")
    [[ -n $drive ]] && args+=(--drive "$drive")
    [[ -n ${extra:-} ]] && args+=($extra)
done
"$tool" "${args[@]}"
