#!/usr/bin/env bash
# Checks the C++ sources of the tree (engine/, protocol/, records/, tests/,
# bench/) against .clang-format: names each file that clang-format would
# change and exits with 1 when there is one, 0 when the tree follows it.
#
# Usage: scripts/check-format.sh [file...]   (default: every tracked source)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
formatter="${CLANG_FORMAT:-clang-format}"
if ! command -v "$formatter" >/dev/null; then
  echo "check-format.sh: $formatter not found (Debian package clang-format)" >&2
  exit 2
fi

if [[ $# -gt 0 ]]; then
  files=("$@")
else
  mapfile -t files < <(git ls-files -- 'engine/*.cpp' 'engine/*.h' 'protocol/*.cpp' \
    'protocol/*.h' 'records/*.cpp' 'records/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' 'bench/*.h')
fi

unformatted=0
for file in "${files[@]}"; do
  if ! "$formatter" --style=file --dry-run --Werror "$file" >/dev/null 2>&1; then
    echo "not formatted: $file"
    unformatted=$((unformatted + 1))
  fi
done
if [[ $unformatted -gt 0 ]]; then
  echo "check-format.sh: $unformatted of ${#files[@]} files differ from .clang-format" >&2
  exit 1
fi
echo "check-format.sh: ${#files[@]} files follow .clang-format"
