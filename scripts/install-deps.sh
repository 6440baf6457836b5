#!/usr/bin/env bash
# Installs the Debian packages needed to build and test Quarvel, but only
# those that are missing: when everything is present this is a quick check
# and needs no root rights.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

# Installs the packages given that are not installed yet.
install_missing() {
    local missing=() pkg status
    for pkg in "$@"; do
        status=$(dpkg-query -W -f='${db:Status-Abbrev}' "$pkg" 2>/dev/null || true)
        if [[ "$status" != ii* ]]; then
            missing+=("$pkg")
        fi
    done
    [[ ${#missing[@]} -eq 0 ]] && return 0

    echo "install-deps: missing packages: ${missing[*]}"
    if [[ $(id -u) -ne 0 ]]; then
        echo "install-deps: run as root to install them: apt-get install -y ${missing[*]}" >&2
        exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    if [[ -z "${apt_updated:-}" ]]; then
        apt-get update -q
        apt_updated=1
    fi
    apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# Build tools, clang-format for the style check, the 32-bit multilib
# compilers, GoogleTest (sources for the 32-bit and sanitizer builds,
# library for the x86-64 fallback), and pgn-extract, whose ECO collection
# the book-building tests read.
install_missing clang-format cmake g++ g++-multilib googletest libgtest-dev make pgn-extract

# Where the kernel does not run 32-bit x86 programs (or EMULATE32=1 asks
# for it), they run under the user-mode emulator.
if [[ "$(bash "$here/probe32.sh")" != native ]]; then
    install_missing qemu-user
fi
