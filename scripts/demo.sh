#!/usr/bin/env bash
# Sets up, builds and runs the demo: the built-in riff rendered at several drive settings, and a
# picture of the editor (editor.png) beside the audio files.
# usage: scripts/demo.sh [OUTDIR]   (default: out/demo)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
host="$root/build/host/zerub-host"
out="${1:-$root/out/demo}"
"$host" render --demo "$out"

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
