#!/usr/bin/env bash
# Tells how this machine runs 32-bit x86 programs: prints "native" when the
# kernel runs them, else the path of Debian's user-mode emulator qemu-i386
# when it is installed, else "qemu-i386" (it must be installed first).
# EMULATE32=1 forces the emulated path on a machine that runs them natively,
# so that both paths can be tried anywhere.
#
# The probe compiles a program that does nothing with the 32-bit multilib
# compiler and runs it; exit status 2 when no 32-bit program can be built.
set -uo pipefail

emulator() {
    command -v qemu-i386 2>/dev/null || echo qemu-i386
}

if [[ "${EMULATE32:-0}" == 1 ]]; then
    emulator
    exit 0
fi

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
echo 'int main(void) { return 0; }' > "$dir/probe.c"
if ! ${CC:-cc} -m32 "$dir/probe.c" -o "$dir/probe" 2>/dev/null; then
    echo "probe32: cannot build a 32-bit program (is g++-multilib installed?)" >&2
    exit 2
fi
if "$dir/probe" 2>/dev/null; then
    echo native
else
    emulator
fi
