#!/usr/bin/env bash
# Where Zerub stands against its peers: times the built Zerub.lv2 and Debian's LV2 overdrive and
# distortion plug-ins with bench/lv2/lv2_bench (same stereo signal, fixed blocks, only the run loop
# timed), rounds interleaved so that a busy moment of the machine spreads over every plug-in, and
# prints one table: real-time factor by wall time (minimum and median over the rounds), the median
# by CPU time, and the median's ratio to Zerub (stereo); then, per instance, the real-time factor
# (a mono plug-in runs as two instances, so one of them alone runs twice as fast as the pair) and
# the heap an extra instance costs.
#
# Usage: scripts/bench-peers.sh [--build DIR] [--rounds N] [--seconds S] [--block N] [--no-install]
# The peer packages are installed when missing (as root or through sudo) unless --no-install.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
rounds=7
seconds=5
block=256
install=1
while (($#)); do
    case $1 in
    --build) build=$2; shift 2 ;;
    --rounds) rounds=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    --block) block=$2; shift 2 ;;
    --no-install) install=0; shift ;;
    *) echo "bench-peers: unknown argument $1" >&2; exit 2 ;;
    esac
done

# URI and the Debian package it comes from; Zerub first, it is the reference row.
peers=(
    "https://www.quillmoor.com/plugins/zerub#stereo|"
    "https://www.quillmoor.com/plugins/zerub#mono|"
    "http://guitarix.sourceforge.net/plugins/gxts9#ts9sim|guitarix-lv2"
    "http://guitarix.sourceforge.net/plugins/gx_mxrdist_#_mxrdist_|guitarix-lv2"
    "http://guitarix.sourceforge.net/plugins/gx_muff_#_muff_|guitarix-lv2"
    "http://calf.sourceforge.net/plugins/Saturator|calf-plugins"
    "http://invadarecords.com/plugins/lv2/tube/stereo|invada-studio-plugins-lv2"
    # This LSP release has no distortion; its limiter is the nearest (a peak clipper with look-ahead).
    "http://lsp-plug.in/plugins/lv2/limiter_stereo|lsp-plugins-lv2"
)

if ((install)); then
    missing=()
    for pkg in guitarix-lv2 calf-plugins invada-studio-plugins-lv2 lsp-plugins-lv2; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'ok installed' || missing+=("$pkg")
    done
    if ((${#missing[@]})); then
        sudo=""
        [[ $(id -u) -eq 0 ]] || sudo=sudo
        echo "bench-peers: installing ${missing[*]}" >&2
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
            "${missing[@]}" >&2 || echo "bench-peers: could not install every peer" >&2
    fi
fi

cmake --build "$build" --target ZerubLV2 lv2_bench >&2
bench=$build/bench/lv2/lv2_bench

# Only the built bundle and the system's plug-ins: an installed copy in ~/.lv2 would shadow it.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
ln -s "$build/lv2/Zerub.lv2" "$tmp/Zerub.lv2"
export LV2_PATH="$tmp:/usr/lib/lv2:/usr/local/lib/lv2"

run() { # URI: one measurement; prints "NAME<TAB>wall<TAB>cpu<TAB>instances<TAB>bytes"
    "$bench" "$1" --seconds "$seconds" --block "$block" --benchmark_min_time=1 \
        2>/dev/null | awk -F'\t' '$1 == "MEMORY" { mem = $3 }
                                  $1 == "RESULT" { print $2 "\t" $3 "\t" $4 "\t" $5 "\t" mem }'
}

# Keep the peers that load; Zerub must.
uris=()
for entry in "${peers[@]}"; do
    uri=${entry%%|*}
    if "$bench" "$uri" --seconds 0.1 --benchmark_min_time=0.01 >/dev/null 2>&1; then
        uris+=("$uri")
    elif [[ $uri == *quillmoor* ]]; then
        echo "bench-peers: Zerub does not load from $build/lv2/Zerub.lv2" >&2
        exit 1
    else
        echo "bench-peers: skipping $uri (not installed or does not load)" >&2
    fi
done

: >"$tmp/results"
for ((r = 1; r <= rounds; r++)); do
    echo "bench-peers: round $r of $rounds" >&2
    for i in "${!uris[@]}"; do
        run "${uris[$i]}" | sed "s/^/$i\t/" >>"$tmp/results"
    done
done

# Columns: index, name, wall RTF, CPU RTF. Minimum and median per plug-in, ratio to the first.
sort -t$'\t' -k1,1n -k3,3g "$tmp/results" | awk -F'\t' -v block="$block" -v seconds="$seconds" '
    function median(a, n,   s, i, j, t) {
        for (i = 1; i <= n; i++) s[i] = a[i]
        for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (s[j] < s[i]) { t = s[i]; s[i] = s[j]; s[j] = t }
        return n % 2 ? s[(n + 1) / 2] : (s[n / 2] + s[n / 2 + 1]) / 2
    }
    {
        k = $1 + 0; name[k] = $2; n[k]++
        wall[k, n[k]] = $3 + 0; cpu[k, n[k]] = $4 + 0; inst[k] = $5 + 0; mem[k] = $6 + 0
        if (k > last) last = k
    }
    END {
        printf "%-36s %12s %12s %12s %10s %12s %10s\n", "plug-in", "RTF min", "RTF median", "CPU median", "x Zerub", "RTF/instance", "KB/instance"
        for (k = 0; k <= last; k++) {
            if (!(k in n)) continue
            delete w; delete c
            for (i = 1; i <= n[k]; i++) { w[i] = wall[k, i]; c[i] = cpu[k, i] }
            mw[k] = median(w, n[k]); mc[k] = median(c, n[k])
            if (k == 0) ref = mw[k]
            printf "%-36s %12.1f %12.1f %12.1f %10.2f %12.1f %10.1f\n", name[k], wall[k, 1], mw[k], mc[k], mw[k] / ref, mw[k] * inst[k], mem[k] / 1024
        }
        printf "(stereo signal, %s s at 48 kHz, blocks of %s frames; RTF = seconds of audio per second; mono plug-ins run as two instances, one per channel: RTF/instance is what one instance does on its own stream)\n", seconds, block
    }'
