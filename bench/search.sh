#!/usr/bin/env bash
# Search speed: runs the search benchmark (bench/search_bench.cpp), which
# searches a fixed set of opening, middlegame and endgame positions each to
# a fixed depth after a new game, and prints the nodes, time and nodes per
# second of each and in total. The last line, the total node count, is the
# signature of the search: it changes only when the search does.
#
# Usage: bench/search.sh [benchmark program] [extra plies]
#   (default program: $QUARVEL_BENCH_BINARY, else build/cmake64/quarvel_bench)
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
program="${1:-${QUARVEL_BENCH_BINARY:-$here/../build/cmake64/quarvel_bench}}"
extra="${2:-0}"
if [[ ! -x "$program" ]]; then
  echo "search.sh: $program not found; build it first (make)" >&2
  exit 1
fi

# One core: the search is single-threaded, and a fixed core keeps the timing
# steadier.
if command -v taskset >/dev/null 2>&1; then
  exec taskset -c 0 "$program" "$extra"
fi
exec "$program" "$extra"
