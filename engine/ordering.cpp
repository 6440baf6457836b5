// Move ordering: the ordering keys of the inner search, of quiescence and of
// the root, the pairwise exchange sort, and the static exchange evaluation
// that tells captures that win material from those that lose it.
#include <climits>
#include <cstddef>

#include "engine/bitboard.h"
#include "engine/chessboard.h"
#include "engine/ordering.h"

namespace {

// Longest sequence of gains of one exchange: the first capture, one capture
// per other piece that can reach the square (at most 62: the board less the
// target and the mover's square), and the capture of a king that took last.
const int SEE_MAX_GAINS = 66;

// Sorts list[0 .. count - 1] by key, highest first, as the pairwise
// exchange sort does: for every later entry j, each earlier entry i with a
// strictly lower key is swapped with it. Equal keys are never swapped with
// each other directly, and the order this leaves among them is part of the
// search's result, so the swaps must be exactly those of the exchange sort.
//
// Before step j the entries 0 .. j - 1 are sorted, so they fall into runs
// of equal keys. Entry j goes where the first run of lower keys begins, and
// the exchange sort then carries the entry it displaced along: that entry
// passes over the rest of its run (equal keys are not swapped) and takes the
// place of the first entry of the next run, which is carried on in turn, the
// last one landing on j. So only the first entry of each run below the new
// key moves, to the start of the next run; the others stay where they are.
// One pass from the end finds those run starts and moves them, and an entry
// that stays at the end of the list (a quiet move after the captures) costs
// one comparison. The start of the last run, that of the lowest key, is
// kept, so that the pass begins there: the quiet moves without history
// make a long last run, which every later move with a history would walk.
inline void exchangeSort(ChessMoveSort* list, unsigned int count) {
  unsigned int lastRun = 0;
  for (unsigned int j = 1; j < count; ++j) {
    const ChessMoveSort entry = list[j];
    if (list[j - 1].score >= entry.score) {
      if (list[j - 1].score != entry.score) lastRun = j;
      continue;
    }
    // Walk down the entries of lower key from the last run's start; `next`
    // is where the start of the run being walked will go. The last run's
    // first entry goes to j, so that run then begins one place later.
    unsigned int next = j;
    unsigned int i = lastRun++;
    while (i > 0 && list[i - 1].score < entry.score) {
      if (list[i - 1].score != list[i].score) {
        list[next] = list[i];
        next = i;
      }
      --i;
    }
    // i is the start of the first run below the new key.
    list[next] = list[i];
    list[i] = entry;
  }
}

// The gain of a move's own capture in the exchange evaluation: the victim,
// or for a promotion the new piece less the pawn.
inline int firstExchangeGain(ChessMove m) {
  return m.promotion() ? PieceCaptureSEEValue[m.promotion()] - PieceCaptureSEEValue[PAWN]
                       : PieceCaptureSEEValue[m.captured()];
}

// A capture, or a promotion to a queen: the moves ordered by material.
inline bool isTactical(ChessMove m) { return m.captured() != 0 || m.promotion() == QUEEN; }

// Steps 5-7 of exchangeValue: the recaptures in turn from the attackers of
// the target square `to` (the mover's first capture made) and the balance.
[[gnu::noinline]] int exchangeSequence(const ChessBoardNode& node, unsigned to, u64 attackers,
                                       u64 occupied, u64 rookLike, u64 bishopLike, int gain,
                                       int onTarget, bool anyLoss) {
  int gains[SEE_MAX_GAINS];
  gains[0] = gain;
  const int afterTaker = gain - onTarget;
  // A piece that leaves the target's line uncovers the sliders behind it:
  // only sliders of that line's kind still on the board and not yet among
  // the attackers can appear.
  auto uncover = [&](unsigned square) {
    const unsigned dir = direction[to][square];
    if (dir == 1 || dir == 2) {
      if (rookLike & occupied & ~attackers)
        attackers |= rookAttacks(to, occupied) & rookLike & occupied;
    } else if (dir == 3 || dir == 4) {
      if (bishopLike & occupied & ~attackers)
        attackers |= bishopAttacks(to, occupied) & bishopLike & occupied;
    }
  };

  // 5-6. Both sides recapture in turn with their least valuable attacker;
  //      each gain is the balance for the mover after that capture. A king
  //      captures only when nothing else can, and the loop ends with it
  //      (answered by the capture of the king when the other side can).
  unsigned side = node.opponent;
  int sign = -1;
  int last = 0;
  while (last < SEE_MAX_GAINS - 2) {
    const u64 mine = attackers & node.bbColorPiece[side];
    if (!mine) break;
    u64 candidates = 0;
    int type = PAWN;
    for (; type <= QUEEN; ++type) {
      candidates = mine & node.bbPiece[side * 7 + type];
      if (candidates) break;
    }
    if (candidates) {
      unsigned square = firstSquare(candidates);
      ++last;
      gains[last] = gains[last - 1] + sign * onTarget;
      onTarget = PieceCaptureSEEValue[type];
      // The loss rule of step 4, now that the first answer is known.
      if (last == 1 && anyLoss && afterTaker + onTarget < 0) return afterTaker + onTarget;
      attackers &= ~(1ULL << square);
      occupied &= ~(1ULL << square);
      uncover(square);
      sign = -sign;
      side ^= 1;
      continue;
    }
    // Only the king is left to this side.
    ++last;
    gains[last] = gains[last - 1] + sign * onTarget;
    attackers &= ~mine;
    if (attackers & node.bbColorPiece[side ^ 1]) {
      ++last;
      gains[last] = gains[last - 1] - sign * PieceCaptureSEEValue[KING];
    }
    break;
  }

  // 7. Resolve backwards: each side may stop capturing, so the answering
  //    side (odd indices) keeps the lower balance and the mover's side (even
  //    indices) the higher one.
  for (int i = last; i >= 1; --i) {
    if (i & 1) {
      if (gains[i] < gains[i - 1]) gains[i - 1] = gains[i];
    } else {
      if (gains[i] > gains[i - 1]) gains[i - 1] = gains[i];
    }
  }
  return gains[0];
}

// The exchange evaluation of staticExchangeEvaluation. Its first steps
// settle most captures (nobody answers, or a pawn or knight answers a
// loss) and are inlined into the orderers; the recaptures in turn are
// exchangeSequence.
inline int exchangeValue(const ChessBoardNode& node, ChessMove move, bool anyLoss) {
  const unsigned from = move.from();
  const unsigned to = move.to();
  const u64 fromBit = 1ULL << from;

  // 1. The move itself: the first gain and the value of the piece that now
  //    stands on the target square. The mover leaves the occupancy, and so
  //    does a pawn taken en passant.
  const u64 withoutMover = node.bbAllPiece & ~fromBit;
  u64 occupied = withoutMover;
  const int gain = firstExchangeGain(move);
  int onTarget;
  if (move.promotion()) {
    onTarget = PieceCaptureSEEValue[move.promotion()];
  } else {
    onTarget = PieceCaptureSEEValue[move.piece()];
    if (move.isEnPassant()) {
      occupied &= ~(1ULL << (to + EnPassantOffset[node.sideToMove]));
    }
  }

  // 2-3. Every piece of either colour that attacks the target on the board
  //      as it stands, less the mover, and the sliders the mover uncovers
  //      behind it. Both come from one look along the target's lines without
  //      the mover: the mover's square lies on at most one of them, and a
  //      pawn taken en passant stands on the target's file while the pawn
  //      that takes it comes along a diagonal, so leaving that pawn on the
  //      board here changes nothing.
  const u64 rookLike = node.bbPiece[BLACK * 7 + ROOK] | node.bbPiece[WHITE * 7 + ROOK] |
                       node.bbPiece[BLACK * 7 + QUEEN] | node.bbPiece[WHITE * 7 + QUEEN];
  const u64 bishopLike = node.bbPiece[BLACK * 7 + BISHOP] | node.bbPiece[WHITE * 7 + BISHOP] |
                         node.bbPiece[BLACK * 7 + QUEEN] | node.bbPiece[WHITE * 7 + QUEEN];
  const u64 answering = node.bbColorPiece[node.opponent];
  const u64 knights = node.bbPiece[BLACK * 7 + KNIGHT] | node.bbPiece[WHITE * 7 + KNIGHT];
  const u64 kings = node.bbPiece[BLACK * 7 + KING] | node.bbPiece[WHITE * 7 + KING];
  u64 attackers = (bbPawnAttack[BLACK][to] & node.bbPiece[WHITE * 7 + PAWN]) |
                  (bbPawnAttack[WHITE][to] & node.bbPiece[BLACK * 7 + PAWN]) |
                  (bbKnightAttack[to] & knights) | (bbKingAttack[to] & kings);
  // After the answering side's first capture, by its least valuable attacker
  // worth `taker`, the mover's side stands at gain - onTarget. It keeps
  // at most that plus `taker` whether it recaptures or not, and the
  // answering side takes the lower of that and gain: when the sum is
  // below zero, so is the balance.
  const int afterTaker = gain - onTarget;
  auto lossBy = [&](int taker) { return anyLoss && afterTaker + taker < 0; };

  // 4. Nobody answers: the first gain stands. The answering side's pawns,
  //    knights and king are known already; without them and without any
  //    slider of that side the lines need no look. A pawn or a knight among
  //    them is its least valuable attacker (a bishop is worth a knight), so
  //    a loss it decides needs no look either.
  const u64 answeringSteppers = attackers & answering;
  if (!answeringSteppers && !((rookLike | bishopLike) & answering)) return gain;
  if (answeringSteppers & node.bbPiece[node.opponent * 7 + PAWN]) {
    if (lossBy(PieceCaptureSEEValue[PAWN])) return afterTaker + PieceCaptureSEEValue[PAWN];
  } else if (answeringSteppers & knights) {
    if (lossBy(PieceCaptureSEEValue[KNIGHT])) return afterTaker + PieceCaptureSEEValue[KNIGHT];
  }
  attackers |=
      (bishopAttacks(to, withoutMover) & bishopLike) | (rookAttacks(to, withoutMover) & rookLike);
  attackers &= ~fromBit;
  if (!(attackers & answering)) return gain;
  return exchangeSequence(node, to, attackers, occupied, rookLike, bishopLike, gain, onTarget,
                          anyLoss);
}

// The quiescence key of a capture that does not win by value alone: its
// exchange value when that is zero or more, else skipped whatever it loses.
inline int quiescentExchangeKey(const ChessBoardNode& node, ChessMove move) {
  const int s = exchangeValue(node, move, true);
  return s >= 0 ? KEY_GOOD_CAPTURE + s : KEY_SKIP;
}

}  // namespace

void ChessBoard::sortMoves(ChessMoveSort* list, unsigned int start, unsigned int count) {
  exchangeSort(list + start, count);
}

void ChessBoard::scoreMoves(ChessMoveSort* list, unsigned int count, ChessMove hashMove, int ply) {
  // 1. The moves with keys of their own, read once (the list's writes could
  //    otherwise alias them); the killers of the ply two above count from
  //    ply 2, and the empty move matches no move of a list.
  const ChessMove mate = mateKiller[ply], k1 = killer1[ply], k2 = killer2[ply];
  const ChessMove k1Up2 = ply > 1 ? killer1[ply - 2] : ChessMove(0);
  const ChessMove k2Up2 = ply > 1 ? killer2[ply - 2] : ChessMove(0);
  const u32* history = historyTable[currentNode.sideToMove][0];

  // 2. Their target squares in a machine word (on a 32-bit machine the two
  //    halves of the board share its bits): a move onto a square whose bit
  //    is clear is none of them, and its key is that of a capture or of a
  //    quiet move at once.
  auto bit = [](ChessMove m) {
    return static_cast<std::size_t>(1) << (m.to() % (sizeof(std::size_t) * CHAR_BIT));
  };
  const std::size_t special =
      bit(hashMove) | bit(mate) | bit(k1) | bit(k2) | bit(k1Up2) | bit(k2Up2);

  // 3. The keys, in the order of precedence: table move, mate killer,
  //    captures, killers, history.
  auto captureKey = [&](ChessMove m) {
    // Winning by value alone needs no exchange evaluation: the victim is
    // worth more than the capturer (a king capturer counts 0).
    const int d = PieceCaptureValue[m.captured()] - PieceCaptureValue[m.piece()];
    if (d >= 1) return KEY_GOOD_CAPTURE + d;
    const int s = exchangeValue(currentNode, m, false);
    return s >= 0 ? KEY_GOOD_CAPTURE + s : KEY_BAD_CAPTURE + s;
  };
  auto historyKey = [&](ChessMove m) {
    // History keys have no cap below the top of the key range.
    const u32 h = history[m.from() * 64 + m.to()];
    return h > static_cast<u32>(INT_MAX - KEY_QUIET) ? INT_MAX : static_cast<int>(h) + KEY_QUIET;
  };
  for (unsigned int i = 0; i < count; ++i) {
    const ChessMove m = list[i].move;
    int key;
    if (!(special & bit(m))) {
      key = isTactical(m) ? captureKey(m) : historyKey(m);
    } else if (m == hashMove) {
      key = KEY_HASH_MOVE;
    } else if (m == mate) {
      key = KEY_MATE_KILLER;
    } else if (isTactical(m)) {
      key = captureKey(m);
    } else if (m == k1) {
      key = KEY_KILLER1;
    } else if (m == k2) {
      key = KEY_KILLER2;
    } else if (m == k1Up2) {
      key = KEY_KILLER1_UP2;
    } else if (m == k2Up2) {
      key = KEY_KILLER2_UP2;
    } else {
      key = historyKey(m);
    }
    list[i].score = key;
  }
}

void ChessBoard::orderMoves(ChessMoveSort* list, unsigned int count, ChessMove hashMove, int ply) {
  if (count == 0) return;
  scoreMoves(list, count, hashMove, ply);
  exchangeSort(list, count);
}

void ChessBoard::orderMoves_quiescent(ChessMoveSort* list, unsigned int count, ChessMove, int) {
  if (count == 0) return;
  scoreMoves_quiescent(list, count);
  sortMoves_quiescent(list, count);
}

unsigned int ChessBoard::scoreMoves_quiescent(ChessMoveSort* list, unsigned int count) {
  // From the end of the list (pawn captures, which mostly win by value, come
  // last): the highest key so far and the earliest move with it. A capture
  // that needs an exchange evaluation waits when even its first capture
  // cannot reach that key, for an exchange never gains more; the highest
  // key only rises, so it stays below the first move.
  unsigned int first = 0;
  int best = INT_MIN;
  for (unsigned int i = count; i-- > 0;) {
    const ChessMove m = list[i].move;
    int key = KEY_SKIP;
    if (isTactical(m)) {
      const int d = PieceCaptureValue[m.captured()] - PieceCaptureValue[m.piece()];
      if (d >= 1) {
        key = KEY_GOOD_CAPTURE + d;
      } else if (KEY_GOOD_CAPTURE + firstExchangeGain(m) < best) {
        list[i].score = KEY_PENDING;
        continue;
      } else {
        key = quiescentExchangeKey(currentNode, m);
      }
    }
    list[i].score = key;
    if (key >= best) {
      best = key;
      first = i;
    }
  }
  return first;
}

void ChessBoard::sortMoves_quiescent(ChessMoveSort* list, unsigned int count) {
  for (unsigned int i = 0; i < count; ++i)
    if (list[i].score == KEY_PENDING)
      list[i].score = quiescentExchangeKey(currentNode, list[i].move);
  exchangeSort(list, count);
}

void ChessBoard::orderMoves_root(ChessMoveSort* list, unsigned int count, int ply) {
  if (count == 0) return;
  ChessBoardNode& node = currentNode;
  for (unsigned int i = 0; i < count; ++i) {
    const ChessMove m = list[i].move;
    int key = KEY_ILLEGAL;
    if (node.makeMove(m)) {
      key = 0;
      if (checkSearchTime()) key = -alphabeta_quiescent(ply + 1, -MATE_SCORE, MATE_SCORE, 1);
      if (m == savedPV.moves[0].move) key = KEY_HASH_MOVE;
    }
    node.unMakeMove(m);
    list[i].score = key;
  }
  exchangeSort(list, count);
}

int ChessBoard::staticExchangeEvaluation(ChessMove move, bool anyLoss) {
  return exchangeValue(currentNode, move, anyLoss);
}
