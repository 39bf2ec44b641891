#!/usr/bin/env bash
# The idle cost of an open LV2 editor: jalv.gtk3 with the plug-in's own UI under a private Xvfb,
# with a JACK server of its own (dummy audio), the plug-in processing silence and nobody touching
# the window. Prints the CPU jalv's process uses (user + system, from /proc/PID/stat) over the
# measured span, in percent of one core.
# usage: scripts/editor-idle.sh [--seconds N] [--scale F] [--lv2-path DIR] URI
# (--scale sets GDK_SCALE, which jalv.gtk3 passes on to GTK and Zerub's UI reads.)
set -euo pipefail
seconds=30
scale=1
lv2path=${LV2_PATH:-}
while [[ $# -gt 1 ]]; do
    case $1 in
    --seconds) seconds=$2; shift 2 ;;
    --scale) scale=$2; shift 2 ;;
    --lv2-path) lv2path=$2; shift 2 ;;
    *) break ;;
    esac
done
[[ $# -eq 1 ]] || { echo "usage: $0 [--seconds N] [--scale F] [--lv2-path DIR] URI" >&2; exit 2; }
uri=$1
for tool in Xvfb jackd jalv.gtk3; do
    command -v "$tool" >/dev/null 2>&1 || { echo "editor-idle: $tool is not installed" >&2; exit 1; }
done
display=":$((200 + $$ % 500))"
Xvfb "$display" -screen 0 1920x1600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display
export JACK_DEFAULT_SERVER="zerub-idle-$$"
[[ -n $lv2path ]] && export LV2_PATH="$lv2path"
jackd --no-realtime -d dummy -r 48000 -p 256 >/dev/null 2>&1 &
jack=$!
jalv=
cleanup() {
    [[ -n $jalv ]] && kill "$jalv" 2>/dev/null && wait "$jalv" 2>/dev/null
    kill "$jack" 2>/dev/null && wait "$jack" 2>/dev/null
    kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
    true
}
trap cleanup EXIT
sleep 1
for _ in $(seq 1 50); do
    # jalv gives up while the JACK server is still starting: start it again until it stays.
    if [[ -z $jalv ]] || ! kill -0 "$jalv" 2>/dev/null; then
        GDK_SCALE=$scale jalv.gtk3 "$uri" >/dev/null 2>&1 &
        jalv=$!
    fi
    sleep 0.5
    kill -0 "$jalv" 2>/dev/null && [[ $(ps -o etimes= -p "$jalv") -ge 2 ]] && break
done
sleep 3 # the window is up and drawn: from here on nothing changes
ticks() { # user + system clock ticks of the process
    local stat
    stat=$(<"/proc/$1/stat")
    stat=${stat##*) }
    read -r -a f <<<"$stat"
    echo $((f[11] + f[12]))
}
t0=$(ticks "$jalv")
sleep "$seconds"
t1=$(ticks "$jalv")
hz=$(getconf CLK_TCK)
awk -v d=$((t1 - t0)) -v hz="$hz" -v s="$seconds" -v u="$uri" -v k="$scale" \
    'BEGIN { printf "%-55s scale %-4s %6.2f %% of a core over %d s\n", u, k, 100 * d / hz / s, s }'
