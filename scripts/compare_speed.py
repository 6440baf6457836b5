#!/usr/bin/env python3
"""Search speed of several builds, measured side by side.

Runs the search benchmark of every program in turn, round after round, on
one core. A machine whose speed drifts (a virtual machine whose host is
busier at one time than another) slows all programs of a round alike, so
each program's speed in a round is divided by the first program's in the
same round, and the median of those ratios is the comparison. Every program
must report the same signature, the benchmark's node count: a build that
changes it searches differently and is no speed-up.

Usage: scripts/compare_speed.py [--rounds N] [--core C] [--extra PLIES]
                                [--emulator PROGRAM] BENCH BENCH...
  BENCH    a search benchmark program (quarvel_bench); the first is the base
  --extra  plies added to every position's depth (as quarvel_bench takes
           them; -3 is the reduced benchmark of the tests)
  --emulator  runs every program under it (qemu-i386 for 32-bit builds
           where the machine refuses them)
The exit status is 0 when every run of every program gave the same
signature, 1 when not, 2 when a program failed or printed no figures.
"""
import argparse
import shutil
import statistics
import subprocess
import sys


def bench_once(prefix, program, extra):
    """(nodes per second, signature) of one benchmark run."""
    out = subprocess.run(prefix + [program, str(extra)], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                         text=True, check=False).stdout
    figures = {}
    for line in out.splitlines():
        words = line.split()
        if len(words) == 2 and words[0] in ("nps", "signature") and words[1].isdigit():
            figures[words[0]] = int(words[1])
    if figures.get("nps", 0) <= 0 or "signature" not in figures:
        raise RuntimeError(f"{program} printed no nps and signature lines:\n{out[-500:]}")
    return figures["nps"], figures["signature"]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=9)
    parser.add_argument("--core", type=int, default=0)
    parser.add_argument("--extra", type=int, default=0)
    parser.add_argument("--emulator", default="")
    parser.add_argument("programs", nargs="+")
    args = parser.parse_args()
    if args.rounds < 1:
        parser.error("--rounds must be at least 1")

    prefix = ["taskset", "-c", str(args.core)] if shutil.which("taskset") else []
    if args.emulator:
        prefix.append(args.emulator)
    speeds = [[] for _ in args.programs]
    ratios = [[] for _ in args.programs]
    signatures = set()
    try:
        for r in range(args.rounds):
            row = []
            for i, program in enumerate(args.programs):
                nps, signature = bench_once(prefix, program, args.extra)
                signatures.add(signature)
                speeds[i].append(nps)
                ratios[i].append(nps / speeds[0][-1])
                row.append(f"{nps} ({ratios[i][-1]:.3f})")
            print(f"round {r + 1}: " + "  ".join(row), flush=True)
    except (OSError, RuntimeError) as error:
        print(f"compare_speed.py: {error}", file=sys.stderr)
        return 2

    for i, program in enumerate(args.programs):
        print(f"{program}: median nps {statistics.median(speeds[i]):.0f}, "
              f"median ratio {statistics.median(ratios[i]):.3f}")
    if len(signatures) != 1:
        print("signatures differ: " + " ".join(str(s) for s in sorted(signatures)))
        return 1
    print(f"signature {signatures.pop()} from every run")
    return 0


if __name__ == "__main__":
    sys.exit(main())
