#!/usr/bin/env bash
# Runs the engine bench and its Python peer on the same simulated pair and
# prints both, with the ratio of the totals. usage: compare_engine.sh [SIZE]
set -euo pipefail
cd "$(dirname "$0")/.."
size=${1:-4096}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
build/bin/vospen-skysim pair --out "$work/pair" --size "${size}x${size}" --sn 15 --density 3000 >/dev/null
# written out before timing, so that neither run waits for the other's dirty pages
sync
echo "# vospen"
ours=$(build/bin/vospen-bench-engine --size "$size" --pair "$work/pair")
echo "$ours"
sync
echo "# python peer (astropy, sep, reproject)"
peer=$(/usr/bin/python3 bench/peers/engine_peer.py "$work/pair/reference.fts" "$work/pair/reshot.fts" "$work/peer")
echo "$peer"
o=$(echo "$ours" | awk -F': ' '/^total:/ {print $2+0}')
p=$(echo "$peer" | awk -F': ' '/^total:/ {print $2+0}')
awk -v o="$o" -v p="$p" 'BEGIN { printf "peer_over_vospen: %.3g x\n", p / o }'
