#!/usr/bin/env python3
"""Same search, two programs: node counts and best moves over UCI.

Each program gets, after "ucinewgame", a fixed depth search ("go depth N")
on a set of openings, middlegames and endgames; the node count of the last
"info depth" line and the "bestmove" must be the same for both. A speed
change that changes neither proves itself result-neutral this way on the
real program, beside the benchmark signature.

Usage: scripts/compare_search.py OLD-PROGRAM NEW-PROGRAM
The exit status is 0 when every search gave the same result.
"""
import subprocess
import sys
# Positions (UCI "position" arguments) and their depths in plies.
POSITIONS = [
    ("startpos", 8),
    ("fen r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3", 8),
    ("fen r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", 6),
    ("fen rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8", 6),
    ("fen r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10", 6),
    ("fen 2r1nrk1/p2q1ppp/bp1p4/n1pPp3/P1P1P3/2PBB1N1/4QPPP/R4RK1 w - - 0 1", 7),
    ("fen 8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", 10),
    ("fen 8/k7/3p4/p2P1p2/P2P1P2/8/8/K7 w - - 0 1", 18),
    ("fen 6k1/p4p1p/1p4p1/8/3P4/P5P1/1q3PKP/2Q5 w - - 0 1", 8),
    ("fen 2q1rr1k/3bbnnp/p2p1pp1/2pPp3/PpP1P1P1/1P2BNNP/2BQ1PRK/7R b - - 0 1", 7),
    ("startpos moves e2e4 c7c5 g1f3 d7d6 d2d4 c5d4 f3d4 g8f6 b1c3 a7a6", 7),
]


def run(prog):
    """(position, depth, nodes, best move) of every search of one program."""
    p = subprocess.Popen([prog], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)

    def send(line):
        p.stdin.write(line + "\n")
        p.stdin.flush()

    def until(prefix):
        lines = []
        while True:
            line = p.stdout.readline()
            if not line:
                raise SystemExit("%s ended" % prog)
            lines.append(line.strip())
            if line.startswith(prefix):
                return lines

    send("uci")
    until("uciok")
    out = []
    for pos, d in POSITIONS:
        send("ucinewgame")
        send("isready")
        until("readyok")
        send("position " + pos)
        send("go depth %d" % d)
        lines = until("bestmove")
        info = [l for l in lines if l.startswith("info depth")]
        w = info[-1].split() if info else []
        nodes = w[w.index("nodes") + 1] if "nodes" in w else "?"
        out.append((pos[:50], d, nodes, lines[-1].split()[1]))
    send("quit")
    p.wait()
    return out


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    same = True
    for x, y in zip(run(sys.argv[1]), run(sys.argv[2])):
        ok = x[2:] == y[2:]
        same &= ok
        print("%-50s d%-2d old nodes %10s %-6s new nodes %10s %-6s %s" %
              (x[0], x[1], x[2], x[3], y[2], y[3], "same" if ok else "DIFFERENT"))
    print("all identical" if same else "DIFFERENCES")
    return 0 if same else 1


if __name__ == "__main__":
    sys.exit(main())
