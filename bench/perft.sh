#!/usr/bin/env bash
# Move-generator speed: runs the perft tool on the start position to depth 6
# and on Kiwipete to depth 5, and prints the leaves per second of each run
# and of both together: the nodes of all printed rows divided by the wall
# time of the run (set-up included).
#
# Usage: bench/perft.sh [program]     (default: build/quarvel)
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
program="${1:-$here/../build/quarvel}"
if [[ ! -x "$program" ]]; then
  echo "perft.sh: $program not found; build it first (make)" >&2
  exit 1
fi

kiwipete='r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1'
total_nodes=0
total_ns=0

# run NAME ARGS...: one timed run; adds to the totals.
run() {
  local name="$1"
  shift
  local start end out nodes ns
  start=$(date +%s%N)
  # The tools exit with 1 when they have run.
  out=$("$program" "$@" || true)
  end=$(date +%s%N)
  # Rows look like " 6.    119060324 ...": the second field is the node count.
  nodes=$(awk '$1 ~ /^[0-9]+\.$/ { sum += $2 } END { printf "%d", sum }' <<<"$out")
  ns=$((end - start))
  total_nodes=$((total_nodes + nodes))
  total_ns=$((total_ns + ns))
  awk -v n="$nodes" -v t="$ns" -v name="$name" \
    'BEGIN { printf "%-22s %12d leaves  %7.3f s  %7.2f M leaves/s\n", name, n, t / 1e9, n / (t / 1e3) }'
}

run "start position, 6" -perft 6
run "Kiwipete, 5" -perft 5 -fen "$kiwipete"
awk -v n="$total_nodes" -v t="$total_ns" \
  'BEGIN { printf "%-22s %12d leaves  %7.3f s  %7.2f M leaves/s\n", "total", n, t / 1e9, n / (t / 1e3) }'
