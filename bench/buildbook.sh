#!/usr/bin/env bash
# Book-building speed: writes a seeded 100,000-game PGN collection (80 plies
# a game) and times "-buildbook" on it at depth 20 with minimum counts 1 and
# 3 on one core, with its peak memory; each book is checked byte for byte
# against a step-by-step build of the same collection.
#
# Usage: bench/buildbook.sh [program] [games]
#   (default program: $QUARVEL_BINARY, else build/quarvel; default 100000)
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
program="${1:-${QUARVEL_BINARY:-$here/../build/quarvel}}"
games="${2:-100000}"
bench="${QUARVEL_BOOK_BENCH_BINARY:-$here/../build/cmake64/quarvel_book_bench}"
for needed in "$program" "$bench"; do
  if [[ ! -x "$needed" ]]; then
    echo "buildbook.sh: $needed not found; build it first (make build64)" >&2
    exit 1
  fi
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
if command -v taskset >/dev/null 2>&1; then
  taskset -c 0 "$bench" "$program" "$work" "$games"
else
  "$bench" "$program" "$work" "$games"
fi
