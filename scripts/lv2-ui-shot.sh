#!/usr/bin/env bash
# Writes a picture of the LV2 plug-in's editor as jalv.gtk3 shows it, on the current display, with
# a JACK server of its own (dummy audio) that ends with it.
# usage: scripts/lv2-ui-shot.sh BUILD_DIR OUT.png
set -euo pipefail
build=$1
out=$2
for tool in jackd jalv.gtk3 xdotool import; do
    command -v "$tool" >/dev/null 2>&1 || {
        echo "lv2-ui-shot: $tool is not installed (scripts/setup.sh installs it)" >&2
        exit 1
    }
done
export JACK_DEFAULT_SERVER="zerub-demo-$$"
export LV2_PATH="$build/lv2"
jackd --no-realtime -d dummy -r 48000 -p 256 >/dev/null 2>&1 &
jack=$!
jalv=
cleanup() {
    [[ -n $jalv ]] && kill "$jalv" 2>/dev/null && wait "$jalv" 2>/dev/null
    kill "$jack" 2>/dev/null && wait "$jack" 2>/dev/null
    true
}
trap cleanup EXIT

window=
for _ in $(seq 1 100); do
    # jalv gives up while the JACK server is still starting: start it again until it stays.
    if [[ -z $jalv ]] || ! kill -0 "$jalv" 2>/dev/null; then
        jalv.gtk3 https://www.quillmoor.com/plugins/zerub#stereo >/dev/null 2>&1 &
        jalv=$!
    fi
    sleep 0.3
    window=$(xdotool search --onlyvisible --name '^Zerub \(stereo\)$' 2>/dev/null | head -n 1) || true
    [[ -n $window ]] && break
done
if [[ -z $window ]]; then
    echo "lv2-ui-shot: jalv.gtk3 showed no Zerub window" >&2
    exit 1
fi
sleep 1 # a few idle calls: the editor has drawn
tmp="$out.tmp.png"
import -window "$window" "$tmp"
mv "$tmp" "$out"
echo "$out  the LV2 editor as jalv.gtk3 shows it"
