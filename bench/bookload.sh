#!/usr/bin/env bash
# Book-loading speed and memory: writes a book of 12 million positions
# (about 264 MB) and one of 200,000 positions with its keys in descending
# and in ascending order, and has each program load each book over UCI,
# alternating the programs round by round; prints the load time, the peak
# memory and the book's share of it by program and book.
#
# Usage: bench/bookload.sh [rounds] [program...]
#   (default: 3 rounds; $QUARVEL_BINARY or build/quarvel, and build/quarvel32,
#   run under qemu-i386 where the kernel does not run 32-bit programs)
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
rounds="${1:-3}"
shift || true
bench="${QUARVEL_BOOKLOAD_BENCH_BINARY:-$here/../build/cmake64/quarvel_bookload_bench}"
if [[ ! -x "$bench" ]]; then
  echo "bookload.sh: $bench not found; build it first (make build64)" >&2
  exit 1
fi
programs=("$@")
if [[ ${#programs[@]} -eq 0 ]]; then
  programs=("${QUARVEL_BINARY:-$here/../build/quarvel}")
  program32="$here/../build/quarvel32"
  if [[ -x "$program32" ]]; then
    emulator="$(bash "$here/../scripts/probe32.sh")"
    [[ "$emulator" == native ]] && programs+=("$program32") || programs+=("$emulator $program32")
  fi
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# On one core where taskset is there, so that the rounds compare alike.
pin=()
command -v taskset >/dev/null 2>&1 && pin=(taskset -c 0)
"${pin[@]}" "$bench" "$work" "$rounds" "${programs[@]}"
