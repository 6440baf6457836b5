#!/usr/bin/env python3
"""Complete games with clocks between Quarvel and itself or another UCI engine.

The script is the GUI: it keeps the clocks, sends "position" and "go" (and,
with --ponder, "go ponder", "ponderhit" and "stop") and checks with its own
move generator that every move Quarvel sends -- best move, expected reply,
principal variations and current moves -- is legal in its position. Games
end by mate, stalemate, the fifty-move rule, threefold repetition,
insufficient material, a flag fall, or adjudication as a draw at --max-plies.

The exit status is 0 when Quarvel sent only legal moves, answered every
"go", lost no game on time and wrote nothing on standard error; 1 otherwise.

Examples:
    scripts/uci_match.py --opponent self --games 4 --tc 10+0.1
    scripts/uci_match.py --opponent stockfish --elo 1350 --games 10 --tc 10+0.1 --ponder
    scripts/uci_match.py --opponent-program /tmp/old/quarvel --games 100 --tc 10+0.1
    scripts/uci_match.py --short          # the quick version that "make test" runs
"""

import argparse
import math
import os
import random
import select
import shutil
import subprocess
import sys
import tempfile
import time

# ---------------------------------------------------------------------------
# Chess rules on a 0x88 board: square = 16 * rank + file.

FILES = "abcdefgh"
KNIGHT_STEPS = (33, 31, 18, 14, -14, -18, -31, -33)
KING_STEPS = (1, -1, 16, -16, 17, 15, -15, -17)
BISHOP_STEPS = (17, 15, -15, -17)
ROOK_STEPS = (1, -1, 16, -16)
START_FEN = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"


def square_name(sq):
    return FILES[sq & 7] + str((sq >> 4) + 1)


def parse_square(text):
    return (int(text[1]) - 1) * 16 + FILES.index(text[0])


def colour_of(piece):
    return "w" if piece.isupper() else "b"


class Position:
    """A position with the full rules: legal moves, making a move, game end."""

    __slots__ = ("board", "turn", "castling", "ep", "halfmove", "fullmove")

    def __init__(self, fen=START_FEN):
        parts = fen.split()
        while len(parts) < 6:
            parts.append(["w", "-", "-", "0", "1"][len(parts) - 1])
        self.board = ["."] * 128
        rank, file = 7, 0
        for c in parts[0]:
            if c == "/":
                rank, file = rank - 1, 0
            elif c.isdigit():
                file += int(c)
            else:
                self.board[rank * 16 + file] = c
                file += 1
        self.turn = parts[1]
        self.castling = "" if parts[2] == "-" else parts[2]
        self.ep = None if parts[3] == "-" else parse_square(parts[3])
        self.halfmove = int(parts[4])
        self.fullmove = int(parts[5])

    def copy(self):
        p = Position.__new__(Position)
        p.board = self.board[:]
        p.turn, p.castling, p.ep = self.turn, self.castling, self.ep
        p.halfmove, p.fullmove = self.halfmove, self.fullmove
        return p

    def key(self):
        """What makes positions equal for the repetition rule."""
        ep = self.ep if self.ep is not None and self._ep_capture_possible() else None
        return ("".join(self.board), self.turn, self.castling, ep)

    def _ep_capture_possible(self):
        pawn = "P" if self.turn == "w" else "p"
        back = -16 if self.turn == "w" else 16
        for side in (1, -1):
            sq = self.ep + back + side
            if not sq & 0x88 and self.board[sq] == pawn:
                return True
        return False

    def king_square(self, colour):
        king = "K" if colour == "w" else "k"
        return self.board.index(king)

    def attacked(self, sq, by):
        """True when a piece of colour `by` attacks square sq."""
        b = self.board
        if by == "w":
            pawn, knight, bishop, rook, queen, king = "PNBRQK"
            pawn_from = (-15, -17)
        else:
            pawn, knight, bishop, rook, queen, king = "pnbrqk"
            pawn_from = (15, 17)
        for d in pawn_from:
            s = sq + d
            if not s & 0x88 and b[s] == pawn:
                return True
        for d in KNIGHT_STEPS:
            s = sq + d
            if not s & 0x88 and b[s] == knight:
                return True
        for d in KING_STEPS:
            s = sq + d
            if not s & 0x88 and b[s] == king:
                return True
        for steps, sliders in ((BISHOP_STEPS, (bishop, queen)), (ROOK_STEPS, (rook, queen))):
            for d in steps:
                s = sq + d
                while not s & 0x88:
                    if b[s] != ".":
                        if b[s] in sliders:
                            return True
                        break
                    s += d
        return False

    def in_check(self):
        return self.attacked(self.king_square(self.turn), "b" if self.turn == "w" else "w")

    def pseudo_moves(self):
        """(from, to, promotion letter or '') for the side to move."""
        b, us = self.board, self.turn
        them = "b" if us == "w" else "w"
        moves = []
        for sq in range(128):
            if sq & 0x88:
                continue
            p = b[sq]
            if p == "." or colour_of(p) != us:
                continue
            kind = p.lower()
            if kind == "p":
                fwd = 16 if us == "w" else -16
                start_rank = 1 if us == "w" else 6
                last_rank = 7 if us == "w" else 0
                promos = ("q", "r", "b", "n")
                t = sq + fwd
                if not t & 0x88 and b[t] == ".":
                    if t >> 4 == last_rank:
                        moves.extend((sq, t, q) for q in promos)
                    else:
                        moves.append((sq, t, ""))
                        t2 = t + fwd
                        if sq >> 4 == start_rank and b[t2] == ".":
                            moves.append((sq, t2, ""))
                for side in (1, -1):
                    t = sq + fwd + side
                    if t & 0x88:
                        continue
                    if (b[t] != "." and colour_of(b[t]) == them) or t == self.ep:
                        if t >> 4 == last_rank:
                            moves.extend((sq, t, q) for q in promos)
                        else:
                            moves.append((sq, t, ""))
            elif kind in "nk":
                for d in KNIGHT_STEPS if kind == "n" else KING_STEPS:
                    t = sq + d
                    if not t & 0x88 and (b[t] == "." or colour_of(b[t]) == them):
                        moves.append((sq, t, ""))
            else:
                steps = BISHOP_STEPS if kind == "b" else ROOK_STEPS if kind == "r" else KING_STEPS
                for d in steps:
                    t = sq + d
                    while not t & 0x88:
                        if b[t] == ".":
                            moves.append((sq, t, ""))
                        else:
                            if colour_of(b[t]) == them:
                                moves.append((sq, t, ""))
                            break
                        t += d
        # Castling: rights, empty squares between, king not in check, not
        # passing or landing on an attacked square.
        home = 0 if us == "w" else 112
        king, rook = ("K", "R") if us == "w" else ("k", "r")
        if b[home + 4] == king and not self.attacked(home + 4, them):
            if (("K" if us == "w" else "k") in self.castling and b[home + 7] == rook
                    and b[home + 5] == "." and b[home + 6] == "."
                    and not self.attacked(home + 5, them) and not self.attacked(home + 6, them)):
                moves.append((home + 4, home + 6, ""))
            if (("Q" if us == "w" else "q") in self.castling and b[home] == rook
                    and b[home + 1] == "." and b[home + 2] == "." and b[home + 3] == "."
                    and not self.attacked(home + 3, them) and not self.attacked(home + 2, them)):
                moves.append((home + 4, home + 2, ""))
        return moves

    def make(self, move):
        """The position after a pseudo-legal move (from, to, promotion)."""
        frm, to, promo = move
        p = self.copy()
        b = p.board
        piece = b[frm]
        captured = b[to]
        p.ep = None
        if piece in "Pp":
            if to == self.ep:  # en passant: the pawn behind the target goes
                b[to + (-16 if piece == "P" else 16)] = "."
            if abs(to - frm) == 32:
                p.ep = (frm + to) // 2
            if promo:
                piece = promo.upper() if piece == "P" else promo
        if piece in "Kk" and abs(to - frm) == 2:  # castling moves the rook
            rook_from, rook_to = (frm + 3, frm + 1) if to > frm else (frm - 4, frm - 1)
            b[rook_to], b[rook_from] = b[rook_from], "."
        b[to], b[frm] = piece, "."
        # Rights go with the king and rook squares.
        for sq, right in ((4, "KQ"), (0, "Q"), (7, "K"), (116, "kq"), (112, "q"), (119, "k")):
            if frm == sq or to == sq:
                p.castling = "".join(c for c in p.castling if c not in right)
        p.halfmove = 0 if piece in "Pp" or captured != "." or promo else self.halfmove + 1
        if self.turn == "b":
            p.fullmove += 1
        p.turn = "b" if self.turn == "w" else "w"
        return p

    def legal_moves(self):
        """UCI text -> position after it, for every legal move."""
        out = {}
        us = self.turn
        them = "b" if us == "w" else "w"
        for move in self.pseudo_moves():
            after = self.make(move)
            if not after.attacked(after.king_square(us), them):
                out[square_name(move[0]) + square_name(move[1]) + move[2]] = after
        return out

    def insufficient_material(self):
        pieces = [p for p in self.board if p not in ".Kk"]
        if not pieces:
            return True
        if len(pieces) == 1 and pieces[0] in "NnBb":
            return True
        if all(p in "Bb" for p in pieces):
            colours = {((sq >> 4) + (sq & 7)) % 2 for sq in range(128)
                       if not sq & 0x88 and self.board[sq] in "Bb"}
            return len(colours) == 1
        return False


def perft(position, depth):
    if depth == 0:
        return 1
    moves = position.legal_moves()
    if depth == 1:
        return len(moves)
    return sum(perft(after, depth - 1) for after in moves.values())


# Published perft counts that the move checker must reproduce.
PERFT_CHECKS = (
    (START_FEN, 3, 8902),
    ("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", 2, 2039),
    ("8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", 4, 43238),
    ("r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1", 3, 9467),
    ("rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8", 3, 62379),
)


def self_test():
    """The move checker against the published counts; True when all agree."""
    ok = True
    for fen, depth, expected in PERFT_CHECKS:
        got = perft(Position(fen), depth)
        if got != expected:
            print("move checker wrong: perft %d of %s gives %d, not %d" % (depth, fen, got, expected))
            ok = False
    return ok


def legal_line(position, moves):
    """Number of moves of the list that are legal one after the other."""
    count = 0
    for m in moves:
        nexts = position.legal_moves()
        if m not in nexts:
            break
        position = nexts[m]
        count += 1
    return count


# ---------------------------------------------------------------------------
# UCI engines over pipes.

class EngineError(Exception):
    pass


# Every engine's output is read whenever the script waits for any of them,
# so that an engine pondering while the other one thinks never blocks on a
# full pipe.
ENGINES = []


def pump_all(timeout):
    """Reads what the engines have written, waiting at most timeout seconds."""
    open_engines = [e for e in ENGINES if not e.closed]
    if not open_engines:
        time.sleep(max(0.0, timeout))
        return
    ready, _, _ = select.select([e.proc.stdout for e in open_engines], [], [], max(0.0, timeout))
    for e in open_engines:
        if e.proc.stdout in ready:
            e.read_available()


class Engine:
    def __init__(self, argv, name, stderr_file=None):
        self.name = name
        self.proc = subprocess.Popen(argv, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=stderr_file or subprocess.DEVNULL, bufsize=0)
        self.buffer = b""
        self.lines = []
        self.closed = False
        ENGINES.append(self)

    def send(self, line):
        try:
            self.proc.stdin.write((line + "\n").encode())
            self.proc.stdin.flush()
        except (BrokenPipeError, OSError):
            raise EngineError("%s: cannot write (engine gone?)" % self.name)

    def read_available(self):
        data = os.read(self.proc.stdout.fileno(), 65536)
        if not data:
            self.closed = True
            return
        self.buffer += data
        *complete, self.buffer = self.buffer.split(b"\n")
        self.lines.extend(l.decode("utf-8", "replace").rstrip("\r") for l in complete)

    def read_line(self, deadline):
        while not self.lines:
            left = deadline - time.monotonic()
            if left <= 0 or self.closed:
                return None
            pump_all(left)
        return self.lines.pop(0)

    def wait_for(self, prefix, timeout, seen=None):
        deadline = time.monotonic() + timeout
        while True:
            line = self.read_line(deadline)
            if line is None:
                raise EngineError("%s: no '%s' within %.1f s" % (self.name, prefix, timeout))
            if line.startswith(prefix):
                return line
            if seen is not None:
                seen.append(line)

    def start(self, options):
        self.send("uci")
        self.wait_for("uciok", 10)
        for name, value in options:
            self.send("setoption name %s value %s" % (name, value))
        self.ready()

    def ready(self, timeout=10):
        self.send("isready")
        self.wait_for("readyok", timeout)

    def quit(self):
        try:
            self.send("quit")
            self.proc.stdin.close()
        except (EngineError, OSError):
            pass
        try:
            return self.proc.wait(5)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            raise EngineError("%s did not end after quit" % self.name)
        finally:
            self.closed = True
            if self in ENGINES:
                ENGINES.remove(self)


# ---------------------------------------------------------------------------
# The match.

class Player:
    def __init__(self, engine, is_quarvel, ponder):
        self.engine = engine
        self.is_quarvel = is_quarvel
        self.ponder = ponder
        self.pondering = None   # the expected reply being pondered on


class Match:
    def __init__(self, args):
        self.args = args
        self.faults = []          # Quarvel's faults: illegal moves, flags, no answer
        self.results = {"win": 0, "draw": 0, "loss": 0}
        self.min_clock = None

    def fault(self, text):
        self.faults.append(text)
        print("  FAULT: " + text, flush=True)

    def check_quarvel_lines(self, position, lines, context):
        """Every move named in Quarvel's info lines is legal in its position."""
        for line in lines:
            words = line.split()
            if not words or words[0] != "info":
                continue
            if "pv" in words:
                pv = words[words.index("pv") + 1:]
                if legal_line(position, pv) != len(pv):
                    self.fault("%s: illegal pv: %s" % (context, line))
            if "currmove" in words:
                m = words[words.index("currmove") + 1]
                if m not in position.legal_moves():
                    self.fault("%s: illegal currmove: %s" % (context, line))

    def think(self, player, position, position_cmd, clocks, inc, ponder_hit_pending):
        """One move of player: returns (move, elapsed seconds) or (None, t) on a fault."""
        e = player.engine
        us = position.turn
        go = "go wtime %d btime %d winc %d binc %d" % (
            max(0, clocks["w"] * 1000), max(0, clocks["b"] * 1000), inc * 1000, inc * 1000)
        start = time.monotonic()
        if ponder_hit_pending:
            e.send("ponderhit")
        else:
            e.send(position_cmd)
            e.send(go)
        seen = []
        timeout = clocks[us] + 10.0
        try:
            line = e.wait_for("bestmove", timeout, seen)
        except EngineError as err:
            if player.is_quarvel:
                self.fault(str(err))
            return None, time.monotonic() - start, None
        elapsed = time.monotonic() - start
        words = line.split()
        move = words[1] if len(words) > 1 else ""
        reply = words[3] if len(words) > 3 and words[2] == "ponder" else None
        legal = position.legal_moves()
        if player.is_quarvel:
            context = "%s %s" % (position_cmd[:60], go)
            self.check_quarvel_lines(position, seen, context)
            if move not in legal:
                self.fault("illegal bestmove %r in %s" % (line, position_cmd))
                return None, elapsed, None
            if reply is not None and reply not in legal[move].legal_moves():
                self.fault("illegal ponder move in %r" % line)
        elif move not in legal:
            print("  opponent sent an illegal move: %r" % line)
            return None, elapsed, None
        return move, elapsed, reply

    def start_ponder(self, player, position_cmd_after, clocks, inc):
        e = player.engine
        e.send(position_cmd_after)
        e.send("go ponder wtime %d btime %d winc %d binc %d" % (
            max(0, clocks["w"] * 1000), max(0, clocks["b"] * 1000), inc * 1000, inc * 1000))

    def stop_ponder(self, player, ponder_position):
        """A ponder miss: "stop" answers with a move legal in the pondered position."""
        e = player.engine
        e.send("stop")
        seen = []
        try:
            line = e.wait_for("bestmove", 2.0, seen)
        except EngineError as err:
            self.fault("ponder stop: " + str(err))
            return
        self.check_quarvel_lines(ponder_position, seen, "ponder search")
        words = line.split()
        legal = ponder_position.legal_moves()
        if len(words) < 2 or (words[1] not in legal and (legal or words[1] != "0000")):
            self.fault("illegal bestmove after a ponder stop: %r" % line)

    def play_game(self, number, white, black, start_fen):
        args = self.args
        players = {"w": white, "b": black}
        position = Position(start_fen)
        base = "position startpos" if start_fen == START_FEN else "position fen " + start_fen
        moves = []
        clocks = {"w": args.base, "b": args.base}
        seen_keys = {position.key(): 1}
        for p in (white, black):
            p.pondering = None
            p.engine.send("ucinewgame")
            p.engine.ready()
        result, reason = None, None
        while result is None:
            us = position.turn
            them = "b" if us == "w" else "w"
            player = players[us]
            cmd = base + (" moves " + " ".join(moves) if moves else "")
            hit = False
            if player.pondering is not None:
                expected, ponder_position = player.pondering
                player.pondering = None
                if moves and moves[-1] == expected:
                    hit = True
                else:
                    self.stop_ponder(player, ponder_position)
            move, elapsed, reply = self.think(player, position, cmd, clocks, args.inc, hit)
            clocks[us] -= elapsed
            if player.is_quarvel:
                self.min_clock = clocks[us] if self.min_clock is None else min(self.min_clock, clocks[us])
            if move is None:
                result, reason = (them, "no legal answer from " + player.engine.name)
                break
            if clocks[us] < 0:
                if player.is_quarvel:
                    self.fault("game %d: %s lost on time (%.3f s over)" % (number, player.engine.name, -clocks[us]))
                result, reason = them, "time forfeit"
                break
            clocks[us] += args.inc
            moves.append(move)
            position = position.legal_moves()[move]
            key = position.key()
            seen_keys[key] = seen_keys.get(key, 0) + 1
            # Game end.
            legal = position.legal_moves()
            if not legal:
                result, reason = (us, "checkmate") if position.in_check() else ("draw", "stalemate")
            elif position.halfmove >= 100:
                result, reason = "draw", "fifty-move rule"
            elif seen_keys[key] >= 3:
                result, reason = "draw", "threefold repetition"
            elif position.insufficient_material():
                result, reason = "draw", "insufficient material"
            elif len(moves) >= args.max_plies:
                result, reason = "draw", "adjudicated at %d plies" % args.max_plies
            elif player.ponder and reply in legal:
                player.pondering = (reply, legal[reply])
                self.start_ponder(player, base + " moves " + " ".join(moves + [reply]),
                                  clocks, args.inc)
        for p in (white, black):
            if p.pondering is not None:
                self.stop_ponder(p, p.pondering[1])
                p.pondering = None
        return result, reason, len(moves)

    def run(self, quarvel, opponent, openings):
        args = self.args
        for g in range(args.games):
            fen = openings[(g // 2) % len(openings)]
            quarvel_white = g % 2 == 0
            white, black = (quarvel, opponent) if quarvel_white else (opponent, quarvel)
            result, reason, plies = self.play_game(g + 1, white, black, fen)
            quarvel_colour = "w" if quarvel_white else "b"
            if result == "draw":
                score = "1/2-1/2"
                self.results["draw"] += 1
            else:
                score = "1-0" if result == "w" else "0-1"
                self.results["win" if result == quarvel_colour else "loss"] += 1
            print("game %d: %s - %s  %s (%s, %d plies)" % (
                g + 1, white.engine.name, black.engine.name, score, reason, plies), flush=True)


def ensure_opponent(name):
    """The opponent's program, installed from Debian's packages when missing."""
    path = shutil.which(name) or shutil.which(name, path="/usr/games")
    if path:
        return path
    if os.geteuid() != 0:
        return None
    print("installing %s with apt-get ..." % name, flush=True)
    env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
    subprocess.call(["apt-get", "update", "-qq"], env=env)
    if subprocess.call(["apt-get", "install", "-y", "-qq", name], env=env) != 0:
        return None
    return shutil.which(name) or shutil.which(name, path="/usr/games")


def read_openings(path, count, seed, skip=0):
    fens = []
    with open(path) as f:
        for line in f:
            fields = line.split()
            if len(fields) >= 4:
                fens.append(" ".join(fields[:4]) + " 0 1")
    random.Random(seed).shuffle(fens)
    return fens[skip:skip + max(1, count)] or [START_FEN]


def score_summary(results):
    """Quarvel's score with its standard error, and the Elo difference it means."""
    n = results["win"] + results["draw"] + results["loss"]
    if n == 0:
        return None
    score = (results["win"] + 0.5 * results["draw"]) / n
    variance = (results["win"] * (1 - score) ** 2 + results["draw"] * (0.5 - score) ** 2 +
                results["loss"] * score ** 2) / n
    error = math.sqrt(variance / n)

    def elo(s):
        s = min(max(s, 1e-6), 1 - 1e-6)
        return -400 * math.log10(1 / s - 1) + 0.0

    return "score %.1f%% +- %.1f%% (one standard error, %d games); Elo %+.0f (%+.0f .. %+.0f at 2 errors)" % (
        100 * score, 100 * error, n, elo(score), elo(score - 2 * error), elo(score + 2 * error))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    root = os.path.dirname(here)
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--quarvel", default=os.path.join(root, "build", "quarvel"),
                        help="the program under test (default build/quarvel)")
    parser.add_argument("--emulator", default="",
                        help="start the program under test through this emulator "
                             "(qemu-i386 for the 32-bit build where the kernel cannot run it)")
    parser.add_argument("--opponent", default="self",
                        help="self, stockfish, glaurung, or a path to a UCI engine")
    parser.add_argument("--opponent-program", metavar="PATH",
                        help="a second Quarvel program as the opponent (for example an "
                             "older build); its moves are checked like Quarvel's")
    parser.add_argument("--elo", type=int, default=1350,
                        help="UCI_Elo of a stockfish opponent (UCI_LimitStrength on)")
    parser.add_argument("--games", type=int, default=2, help="games (colours alternate)")
    parser.add_argument("--tc", default="10+0.1", help="base seconds + increment seconds")
    parser.add_argument("--ponder", action="store_true", help="Quarvel ponders")
    parser.add_argument("--max-plies", type=int, default=400, help="draw adjudication")
    parser.add_argument("--openings", default=os.path.join(root, "tests", "data",
                                                         "openings-6mov.epd"),
                        help="EPD of start positions (default: the openings of tests/data)")
    parser.add_argument("--seed", type=int, default=1, help="order of the openings")
    parser.add_argument("--skip", type=int, default=0,
                        help="start this many openings into that order (so that matches run "
                             "side by side play different openings)")
    parser.add_argument("--short", action="store_true",
                        help="quick check: 2 self-play games, then 2 games against stockfish "
                             "(when it can be had), at 2+0.05 with pondering")
    args = parser.parse_args()

    if not self_test():
        return 1

    if args.short:
        runs = [("self", True), ("stockfish", True)]
        # An emulated program runs about four times slower: its clock is
        # four times longer, so that the games test the engine, not the
        # emulator's speed.
        args.games, args.tc, args.max_plies = 2, "8+0.2" if args.emulator else "2+0.05", 160
    else:
        runs = [(args.opponent, args.ponder)]
    base, _, inc = args.tc.partition("+")
    args.base, args.inc = float(base), float(inc or 0)

    for program in (args.quarvel, args.opponent_program):
        if program and not os.access(program, os.X_OK):
            print("no program at %s (build it with make)" % program)
            return 1
    if not os.path.isfile(args.openings):
        print("no openings file at %s" % args.openings)
        return 1

    quarvel_argv = ([args.emulator] if args.emulator else []) + [args.quarvel]
    faults, totals = [], {"win": 0, "draw": 0, "loss": 0}
    for opponent_name, ponder in runs:
        openings = read_openings(args.openings, args.games, args.seed, args.skip)
        stderr_file = tempfile.TemporaryFile()
        quarvel = Player(Engine(quarvel_argv, "Quarvel", stderr_file), True, ponder)
        options = [("Ponder", "true")] if ponder else []
        quarvel.engine.start(options)
        if opponent_name == "self" or args.opponent_program:
            program = args.opponent_program or args.quarvel
            name = "Quarvel-2" if program == args.quarvel else "Quarvel-opponent"
            argv = ([args.emulator] if args.emulator else []) + [program]
            opponent = Player(Engine(argv, name, stderr_file), True, ponder)
            opponent.engine.start(options)
        else:
            path = opponent_name if os.sep in opponent_name else ensure_opponent(opponent_name)
            if not path:
                print("%s is not available: games against it skipped" % opponent_name)
                quarvel.engine.quit()
                continue
            opponent = Player(Engine([path], os.path.basename(path)), False, False)
            opts = [("Threads", "1"), ("Hash", "16")]
            if "stockfish" in os.path.basename(path):
                opts += [("UCI_LimitStrength", "true"), ("UCI_Elo", str(args.elo))]
                opponent.engine.name = "stockfish-%d" % args.elo
            opponent.engine.start(opts)
        print("== Quarvel vs %s, %d games, %s%s ==" % (
            opponent.engine.name, args.games, args.tc, ", pondering" if ponder else ""), flush=True)
        match = Match(args)
        try:
            match.run(quarvel, opponent, openings)
        except EngineError as err:
            match.fault(str(err))
        for p in (quarvel, opponent):
            try:
                p.engine.quit()
            except EngineError as err:
                match.fault(str(err))
        stderr_file.seek(0)
        err = stderr_file.read()
        if err:
            match.fault("standard error of Quarvel: " + err.decode("utf-8", "replace")[:2000])
        for k in totals:
            totals[k] += match.results[k]
        if match.min_clock is not None:
            print("Quarvel's lowest clock after a move: %.2f s" % match.min_clock)
        faults += match.faults
    print("Quarvel: +%d =%d -%d; %d fault(s)" % (
        totals["win"], totals["draw"], totals["loss"], len(faults)))
    summary = score_summary(totals)
    if summary:
        print(summary)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
