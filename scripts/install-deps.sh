#!/usr/bin/env bash
# Installs the Debian packages needed to build and test Quarvel, but only
# those that are missing: when everything is present this is a quick check
# and needs no root rights.
set -euo pipefail

# Build tools, the 32-bit multilib compilers, GoogleTest (sources for the
# 32-bit and sanitizer builds, library for the x86-64 fallback), and
# pgn-extract, whose ECO collection the book-building tests read.
PACKAGES=(cmake g++ g++-multilib googletest libgtest-dev make pgn-extract)

missing=()
for pkg in "${PACKAGES[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Abbrev}' "$pkg" 2>/dev/null || true)
    if [[ "$status" != ii* ]]; then
        missing+=("$pkg")
    fi
done

if [[ ${#missing[@]} -eq 0 ]]; then
    exit 0
fi

echo "install-deps: missing packages: ${missing[*]}"
if [[ $(id -u) -ne 0 ]]; then
    echo "install-deps: run as root to install them: apt-get install -y ${missing[*]}" >&2
    exit 1
fi

export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
