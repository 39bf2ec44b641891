#!/usr/bin/env bash
# Sets up, builds and runs the demo: the built-in riff rendered at several drive settings.
# usage: scripts/demo.sh [OUTDIR]   (default: out/demo)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
exec "$root/build/host/zerub-host" render --demo "${1:-$root/out/demo}"
