#!/usr/bin/env bash
# Where Zerub stands against its limit and its peers, in one table from one run. Each round runs,
# one after another so that a busy moment of the machine spreads over every row:
#   - bench/effect/effect_bench: the circuit chain alone (the gain network's loop-carried
#     recurrence, the reference no bit-exact implementation can pass), the block path on float
#     buffers, the whole path through AudioUnitRender and the whole LV2 run() path (the built
#     Zerub.so opened with dlopen), stereo; then the last three with the quality setting HQ;
#   - bench/lv2/lv2_bench on the built Zerub.lv2 and on Debian's LV2 overdrive and distortion
#     plug-ins (same stereo signal, fixed blocks, only the run loop timed).
# Then it prints, per row, the real-time factor by CPU time (median over the rounds; effect_bench
# runs five short interleaved repetitions per round), its spread ((max - min) / median), the
# median by wall time, and the median's fraction of the chain's; a wall time well below the CPU
# figure means the machine was busy. For the lv2_bench rows also the real-time factor per instance
# (a mono plug-in runs as two instances, one per channel, so one of them alone runs twice as fast
# as the pair) and the heap an extra instance costs.
#
# Usage: scripts/bench-peers.sh [--build DIR] [--rounds N] [--seconds S] [--block N] [--no-install]
# --block must be one of effect_bench's sizes (64, 256, 1024). The peer packages are installed
# when missing (as root or through sudo) unless --no-install.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
rounds=5
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
case $block in
64 | 256 | 1024) ;;
*) echo "bench-peers: --block must be 64, 256 or 1024" >&2; exit 2 ;;
esac

# URI and the Debian package it comes from; Zerub's own bundle first.
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
    source "$root/scripts/peers.sh"
    install_peers bench-peers
fi

cmake --build "$build" --target ZerubLV2 lv2_bench effect_bench >&2
bench=$build/bench/lv2/lv2_bench
effect=$build/bench/effect/effect_bench
bundle=$(sed -n 's/^ZERUB_LV2_BUNDLE_DIR:INTERNAL=//p' "$build/CMakeCache.txt")
[[ -n $bundle ]] || bundle=$build/Zerub.lv2

# Only the built bundle and the system's plug-ins: an installed copy in ~/.lv2 would shadow it.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
ln -s "$bundle" "$tmp/Zerub.lv2"
export LV2_PATH="$tmp:/usr/lib/lv2:/usr/local/lib/lv2"

# effect_bench's cases: benchmark name and the row's label, the chain first (the reference).
cases=(
    "BM_Chain/frames:$block|the chain alone (reference)"
    "BM_BlockFloat/frames:$block/channels:2|block path, float buffers"
    "BM_Host/frames:$block/channels:2/copy:0|whole path, AudioUnitRender"
    "BM_LV2Run/frames:$block/channels:2|whole path, LV2 run()"
    "BM_BlockHQ/frames:$block/channels:2|HQ: block path, float buffers"
    "BM_HostHQ/frames:$block/channels:2/copy:0|HQ: whole path, AudioUnitRender"
    "BM_LV2RunHQ/frames:$block/channels:2|HQ: whole path, LV2 run()"
)
filter="^($(for c in "${cases[@]}"; do printf '%s|' "${c%%|*}"; done | sed 's/|$//'))\$"

run_effect() { # short repetitions of the cases, interleaved; prints "ROW<TAB>label<TAB>wall<TAB>cpu"
    "$effect" --benchmark_filter="$filter" --benchmark_min_time=0.2 --benchmark_repetitions=5 \
        --benchmark_enable_random_interleaving=true --benchmark_format=csv 2>/dev/null |
        awk -F, -v block="$block" -v list="$(printf '%s\n' "${cases[@]}")" '
            BEGIN { n = split(list, rows, "\n"); for (i = 1; i <= n; i++) { split(rows[i], f, "|"); label[f[1]] = f[2]; order[f[1]] = i - 1 } }
            {
                name = $1; gsub(/"/, "", name)
                if (!(name in label) || $9 != "") next
                scale = $5 == "ns" ? 1e-9 : ($5 == "us" ? 1e-6 : ($5 == "ms" ? 1e-3 : 1))
                printf "%d\t%s\t%.3f\t%.3f\n", order[name], label[name], block / 48000 / ($3 * scale), $11
            }'
}

run_peer() { # URI: one measurement; prints "NAME<TAB>wall<TAB>cpu<TAB>instances<TAB>bytes"
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
        echo "bench-peers: Zerub does not load from $bundle" >&2
        exit 1
    else
        echo "bench-peers: skipping $uri (not installed or does not load)" >&2
    fi
done

: >"$tmp/results"
for ((r = 1; r <= rounds; r++)); do
    echo "bench-peers: round $r of $rounds" >&2
    run_effect >>"$tmp/results"
    for i in "${!uris[@]}"; do
        run_peer "${uris[$i]}" | sed "s/^/$((i + ${#cases[@]}))\t/" >>"$tmp/results"
    done
done

# Columns: row, name, wall RTF, CPU RTF. Per row: CPU median, spread, wall median, fraction of
# the chain's CPU median; the lv2_bench rows are marked with the host they ran in.
sort -t$'\t' -k1,1n "$tmp/results" | awk -F'\t' -v block="$block" -v seconds="$seconds" -v rounds="$rounds" -v ncases="${#cases[@]}" '
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
        printf "%-40s %11s %7s %10s %9s %11s %8s\n", "path", "x real time", "spread", "wall x rt", "of chain", "x rt/inst.", "KB/inst."
        for (k = 0; k <= last; k++) {
            if (!(k in n)) continue
            delete w; delete c
            lo = hi = cpu[k, 1]
            for (i = 1; i <= n[k]; i++) {
                w[i] = wall[k, i]; c[i] = cpu[k, i]
                if (c[i] < lo) lo = c[i]
                if (c[i] > hi) hi = c[i]
            }
            mw = median(w, n[k]); mc = median(c, n[k])
            if (k == 0) ref = mc
            label = k < ncases ? name[k] : "lv2_bench: " name[k]
            printf "%-40s %11.0f %6.1f%% %10.0f %9.2f", substr(label, 1, 40), mc, 100 * (hi - lo) / mc, mw, ref ? mc / ref : 0
            if (k < ncases) printf " %11s %8s\n", "-", "-"
            else printf " %11.0f %8.1f\n", mc * inst[k], mem[k] / 1024
        }
        printf "(stereo, 48 kHz, blocks of %s frames, %d rounds; x real time = seconds of audio per CPU second;\n", block, rounds
        printf " effect_bench rows: 5 repetitions a round; lv2_bench rows: one run a round of a %s s signal\n", seconds
        printf " in a lilv host, mono plug-ins as two instances)\n"
    }'
