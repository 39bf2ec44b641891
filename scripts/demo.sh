#!/usr/bin/env bash
# Sets up, builds and runs the demo: the built-in riff rendered at several drive settings, the
# aliasing of Standard against HQ (aliasing.png), and pictures of the editor beside the audio
# files: editor.png (the component's view) and lv2-ui.png (the LV2 plug-in in jalv.gtk3).
# usage: scripts/demo.sh [OUTDIR]   (default: out/demo)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# The test command's optimised build (the same preset), so running both builds the tree once.
"$root/scripts/setup.sh" --preset release
host="$root/build/host/zerub-host"
out="${1:-$root/out/demo}"
"$host" render --demo "$out"

# Aliasing: Standard against HQ at 5 kHz, Gain 1, and Zerub's table (a second or two).
"$root/build/tools/aliasing/zerub-aliasing" --png "$out/aliasing.png"

# The editor draws itself in a window: on this display, else on a private X server.
snapshot=("$host" editor --snapshot "$out/editor.png")
if [[ -n ${DISPLAY:-} ]]; then
    "${snapshot[@]}"
elif command -v xvfb-run >/dev/null 2>&1; then
    # GNUstep notes the missing window manager on stderr; only real errors are shown.
    xvfb-run -a "${snapshot[@]}" 2> >(grep -v 'Failed to determine offsets' >&2)
else
    echo "$out/editor.png  skipped: no display and no Xvfb (apt-get install xvfb) to draw it on"
fi

# The LV2 plug-in's editor as jalv.gtk3 shows it.
shot=("$root/scripts/lv2-ui-shot.sh" "$root/build" "$out/lv2-ui.png")
if [[ -n ${DISPLAY:-} ]]; then
    "${shot[@]}"
elif command -v xvfb-run >/dev/null 2>&1; then
    xvfb-run -a "${shot[@]}"
else
    echo "$out/lv2-ui.png  skipped: no display and no Xvfb (apt-get install xvfb) to draw it on"
fi
