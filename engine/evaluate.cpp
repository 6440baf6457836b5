// Static evaluation of a position, in centipawns from the side to move.
//
// Material and piece-square sums are kept by make and unmake; everything else
// (pawn structure, trapped pieces, mobility, king tropism, outposts, rook
// files, seventh-rank pieces, queen development, pawn shield, attacks near
// the king) is computed here on every call. Every term is computed once per
// colour with mirrored squares, so a colour-mirrored position evaluates to
// exactly the same number. Squares beside or beyond the edge are reached by
// shifting bitboards, never by indexing, so an off-board square is empty.
#include "engine/evaluate.h"

#include "engine/bitboard.h"
#include "engine/chessboard.h"
#include "engine/node.h"

const i32 EVAL_PASSED_PAWN[32] = {
    0, 0,  10, 20, 50,  80,  100, 0,   // phase 0
    0, 0,  10, 20, 50,  80,  100, 0,   // phase 1
    0, 10, 20, 40, 100, 160, 200, 0,   // phase 2
    0, 10, 20, 40, 100, 160, 200, 0,   // phase 3
};

const i32 EVAL_MISSING_PAWN_SHIELD[10] = {50, 0, 0, 20, 25, 25, 25, 25, 25, 50};

const i32 EVAL_TROPISM_KNIGHT[9] = {0, 30, 30, 20, 0, 0, 0, 0, 0};
const i32 EVAL_TROPISM_BISHOP[9] = {0, 20, 20, 10, 10, 0, 0, 0, 0};
const i32 EVAL_TROPISM_ROOK[9] = {0, 30, 20, 10, 10, 0, 0, 0, 0};
const i32 EVAL_TROPISM_QUEEN[9] = {0, 40, 30, 20, 10, 0, 0, 0, 0};

// Rank 1 first, files a to h within a rank.
const i32 pos_outpost[2][64] = {
    {   // Black
        0, 0, 0,  0,  0,  0,  0, 0,
        0, 0, 0,  0,  0,  0,  0, 0,
        0, 0, 16, 32, 32, 16, 0, 0,
        0, 8, 16, 32, 32, 16, 8, 0,
        0, 8, 16, 16, 16, 16, 8, 0,
        0, 0, 0,  0,  0,  0,  0, 0,
        0, 0, 0,  0,  0,  0,  0, 0,
        0, 0, 0,  0,  0,  0,  0, 0,
    },
    {   // White
        0, 0, 0,  0,  0,  0,  0, 0,
        0, 0, 0,  0,  0,  0,  0, 0,
        0, 0, 0,  0,  0,  0,  0, 0,
        0, 8, 16, 16, 16, 16, 8, 0,
        0, 8, 16, 32, 32, 16, 8, 0,
        0, 0, 16, 32, 32, 16, 0, 0,
        0, 0, 0,  0,  0,  0,  0, 0,
        0, 0, 0,  0,  0,  0,  0, 0,
    },
};

namespace {

const u64 FILE_A = 0x0101010101010101ULL;
const u64 FILE_H = 0x8080808080808080ULL;
const u64 RANK_2 = 0x000000000000FF00ULL;
const u64 RANK_7 = 0x00FF000000000000ULL;

// Most advanced pawn rank of a file without a pawn of that colour.
const int NO_WHITE_PAWN = -1;
const int NO_BLACK_PAWN = 8;

constexpr u64 bit(unsigned square) { return 1ULL << square; }

// King-move distance of every two squares, built at compile time.
struct DistanceTable {
  u8 d[64][64];
  constexpr DistanceTable() : d() {
    for (int a = 0; a < 64; ++a) {
      for (int b = 0; b < 64; ++b) {
        int df = (a & 7) - (b & 7), dr = (a >> 3) - (b >> 3);
        if (df < 0) df = -df;
        if (dr < 0) dr = -dr;
        d[a][b] = static_cast<u8>(df > dr ? df : dr);
      }
    }
  }
};
constexpr DistanceTable DISTANCE;

inline int distance(unsigned a, unsigned b) { return DISTANCE.d[a][b]; }

// Both patterns hold: every square of mask is in set.
inline bool all(u64 set, u64 mask) { return (set & mask) == mask; }

// What the pawns alone decide: the most advanced pawn of each file by
// colour (index file + 1, with the off-board files 0 and 9 always empty),
// the pawn attacks, the doubled, isolated and backward pawn penalties, the
// passed pawns, and those of them with a friendly pawn beside them level or
// one rank behind.
struct PawnEntry {
  u64 pawns[2];    // the placement the entry is for
  bool filled;
  int lastWhite[10], lastBlack[10];
  u64 pawnAttacks[2];
  int structure[2];
  u64 passed[2];
  u64 connected[2];
};

// Pawn structures repeat all through a search, so the entries are kept in
// a table indexed by a hash of the two pawn sets; an entry holds its pawn
// sets, so a hit is always the same placement.
const unsigned PAWN_TABLE_BITS = 12;
PawnEntry pawnTable[1u << PAWN_TABLE_BITS];

// Steps 5 to 7 of the evaluation, the parts that read the pawns alone.
void scanPawns(PawnEntry& e, u64 whitePawns, u64 blackPawns) {
  int* lastWhite = e.lastWhite;
  int* lastBlack = e.lastBlack;
  // 5. Pawn scan.
  for (int f = 0; f < 10; ++f) {
    lastWhite[f] = NO_WHITE_PAWN;
    lastBlack[f] = NO_BLACK_PAWN;
  }
  for (u64 b = whitePawns; b;) {
    const unsigned s = popFirstSquare(b);
    const int r = static_cast<int>(s >> 3);
    if (r > lastWhite[(s & 7) + 1]) lastWhite[(s & 7) + 1] = r;
  }
  for (u64 b = blackPawns; b;) {
    const unsigned s = popFirstSquare(b);
    const int r = static_cast<int>(s >> 3);
    if (r < lastBlack[(s & 7) + 1]) lastBlack[(s & 7) + 1] = r;
  }
  e.pawnAttacks[WHITE] = ((whitePawns & ~FILE_A) << 7) | ((whitePawns & ~FILE_H) << 9);
  e.pawnAttacks[BLACK] = ((blackPawns & ~FILE_A) >> 9) | ((blackPawns & ~FILE_H) >> 7);

  // 6. White pawn structure: doubled, isolated, backward; passed pawns.
  e.structure[WHITE] = e.structure[BLACK] = 0;
  e.passed[WHITE] = e.passed[BLACK] = e.connected[WHITE] = e.connected[BLACK] = 0;
  for (u64 b = whitePawns; b;) {
    const unsigned s = popFirstSquare(b);
    const unsigned f = s & 7;
    const int r = static_cast<int>(s >> 3);
    const int left = lastWhite[f], own = lastWhite[f + 1], right = lastWhite[f + 2];
    int value = 0;
    if (r < own) value -= EVAL_DOUBLED_PAWN;
    if (left == NO_WHITE_PAWN) {
      if (right == NO_WHITE_PAWN) {
        value -= EVAL_ISOLATED_PAWN;
      } else if (r < right) {
        value -= EVAL_BACKWARD_PAWN;
      }
    } else if (r < left && (right == NO_WHITE_PAWN || r < right)) {
      value -= EVAL_BACKWARD_PAWN;
    }
    e.structure[WHITE] += value;
    if ((lastBlack[f] == NO_BLACK_PAWN || lastBlack[f] <= r) &&
        (lastBlack[f + 1] == NO_BLACK_PAWN || lastBlack[f + 1] <= r) &&
        (lastBlack[f + 2] == NO_BLACK_PAWN || lastBlack[f + 2] <= r)) {
      e.passed[WHITE] |= bit(s);
      if (left == r || left == r - 1 || right == r || right == r - 1) e.connected[WHITE] |= bit(s);
    }
  }

  // 7. Black pawn structure, mirrored.
  for (u64 b = blackPawns; b;) {
    const unsigned s = popFirstSquare(b);
    const unsigned f = s & 7;
    const int r = static_cast<int>(s >> 3);
    const int left = lastBlack[f], own = lastBlack[f + 1], right = lastBlack[f + 2];
    int value = 0;
    if (r > own) value -= EVAL_DOUBLED_PAWN;
    if (left == NO_BLACK_PAWN) {
      if (right == NO_BLACK_PAWN) {
        value -= EVAL_ISOLATED_PAWN;
      } else if (r > right) {
        value -= EVAL_BACKWARD_PAWN;
      }
    } else if (r > left && (right == NO_BLACK_PAWN || r > right)) {
      value -= EVAL_BACKWARD_PAWN;
    }
    e.structure[BLACK] += value;
    if ((lastWhite[f] == NO_WHITE_PAWN || lastWhite[f] >= r) &&
        (lastWhite[f + 1] == NO_WHITE_PAWN || lastWhite[f + 1] >= r) &&
        (lastWhite[f + 2] == NO_WHITE_PAWN || lastWhite[f + 2] >= r)) {
      e.passed[BLACK] |= bit(s);
      if (left == r || left == r + 1 || right == r || right == r + 1) e.connected[BLACK] |= bit(s);
    }
  }
}

// The entry of a pawn placement, filled on a miss.
const PawnEntry& pawnEntry(u64 whitePawns, u64 blackPawns) {
  const u64 mix = whitePawns * 0x9E3779B97F4A7C15ULL + blackPawns * 0xC2B2AE3D27D4EB4FULL;
  PawnEntry& e = pawnTable[mix >> (64 - PAWN_TABLE_BITS)];
  if (e.filled && e.pawns[WHITE] == whitePawns && e.pawns[BLACK] == blackPawns) return e;
  e.filled = true;
  e.pawns[WHITE] = whitePawns;
  e.pawns[BLACK] = blackPawns;
  scanPawns(e, whitePawns, blackPawns);
  return e;
}

}  // namespace

int ChessBoardNode::evaluateDraw(int colour) {
  const u8* count = &pieceCount[colour * 7];
  return count[PAWN] == 0 && count[ROOK] == 0 && count[QUEEN] == 0 && count[BISHOP] <= 1 &&
                 count[KNIGHT] <= 2 && !(count[KNIGHT] && count[BISHOP])
             ? 1
             : 0;
}

// The evaluation counts squares with a population count at every call; a
// second copy of it is compiled for processors with the POPCNT instruction
// and chosen at load time. Both copies compute the same numbers.
__attribute__((target_clones("popcnt", "default")))
int ChessBoardNode::evaluate(int alpha, int beta, int lazyAllowed) {
  const unsigned stm = sideToMove;

  // 1. The side to move cannot win with what it has left: a draw score,
  //    judged in the late phases only.
  if (gamePhase > 1 && evaluateDraw(static_cast<int>(stm))) return contemptFactor;

  // 2. Base: material, bishop pair, no pawns, piece-square sums of the phase.
  const i32* pst = gamePhase <= 1 ? pstMiddlegame : pstEndgame;
  int base = 0;
  for (unsigned c = BLACK; c <= WHITE; ++c) {
    int value = material[c] + pst[c];
    if (pieceCount[c * 7 + BISHOP] >= 2) value += EVAL_BISHOP_PAIR;
    if (pieceCount[c * 7 + PAWN] == 0) value -= EVAL_NO_PAWNS;
    base += c == WHITE ? value : -value;
  }

  // 3. Lazy exit when the base alone lies far outside the window.
  if (lazyAllowed == 1) {
    const int s = stm == WHITE ? base : -base;
    if (s - LAZY_EVAL_MARGIN > beta || s + LAZY_EVAL_MARGIN < alpha) return s;
  }

  const u64 occupied = bbAllPiece;
  const u64 whitePawns = bbPiece[WHITE * 7 + PAWN];
  const u64 blackPawns = bbPiece[BLACK * 7 + PAWN];
  const unsigned whiteKing = kingSquare[WHITE];
  const unsigned blackKing = kingSquare[BLACK];
  // Every positional term of a colour, added up.
  int score[2] = {0, 0};

  // 4. Blocked centre pawns and pieces trapped in a corner.
  if ((whitePawns & bit(11)) && (occupied & bit(19))) score[WHITE] -= BLOCKED_PAWN;   // d2, d3
  if ((whitePawns & bit(12)) && (occupied & bit(20))) score[WHITE] -= BLOCKED_PAWN;   // e2, e3
  if ((blackPawns & bit(51)) && (occupied & bit(43))) score[BLACK] -= BLOCKED_PAWN;   // d7, d6
  if ((blackPawns & bit(52)) && (occupied & bit(44))) score[BLACK] -= BLOCKED_PAWN;   // e7, e6
  {
    const u64 wn = bbPiece[WHITE * 7 + KNIGHT], bn = bbPiece[BLACK * 7 + KNIGHT];
    const u64 wb = bbPiece[WHITE * 7 + BISHOP], bb = bbPiece[BLACK * 7 + BISHOP];
    // Knight a7 with b7, a6 / h7 with g7, h6; mirrored for Black.
    if ((wn & bit(48)) && all(blackPawns, bit(49) | bit(40))) {
      score[WHITE] -= BLOCKED_KNIGHT;
    } else if ((wn & bit(55)) && all(blackPawns, bit(54) | bit(47))) {
      score[WHITE] -= BLOCKED_KNIGHT;
    }
    if ((bn & bit(8)) && all(whitePawns, bit(9) | bit(16))) {
      score[BLACK] -= BLOCKED_KNIGHT;
    } else if ((bn & bit(15)) && all(whitePawns, bit(14) | bit(23))) {
      score[BLACK] -= BLOCKED_KNIGHT;
    }
    // Bishop a7 with b6, c7 / h7 with g6, f7; mirrored for Black.
    if ((wb & bit(48)) && all(blackPawns, bit(41) | bit(50))) {
      score[WHITE] -= BLOCKED_BISHOP;
    } else if ((wb & bit(55)) && all(blackPawns, bit(46) | bit(53))) {
      score[WHITE] -= BLOCKED_BISHOP;
    }
    if ((bb & bit(8)) && all(whitePawns, bit(17) | bit(10))) {
      score[BLACK] -= BLOCKED_BISHOP;
    } else if ((bb & bit(15)) && all(whitePawns, bit(22) | bit(13))) {
      score[BLACK] -= BLOCKED_BISHOP;
    }
  }
  if (gamePhase <= 1) {
    // A king on the wing in front of its own rook keeps that rook shut in.
    const u64 wr = bbPiece[WHITE * 7 + ROOK], br = bbPiece[BLACK * 7 + ROOK];
    if (whiteKing >= 5 && whiteKing <= 7) {
      if (wr & (bit(6) | bit(7))) score[WHITE] -= BLOCKED_ROOK;
    } else if (whiteKing <= 2) {
      if (wr & (bit(0) | bit(1))) score[WHITE] -= BLOCKED_ROOK;
    }
    if (blackKing >= 61) {
      if (br & (bit(62) | bit(63))) score[BLACK] -= BLOCKED_ROOK;
    } else if (blackKing >= 56 && blackKing <= 58) {
      if (br & (bit(56) | bit(57))) score[BLACK] -= BLOCKED_ROOK;
    }
  }

  // 5-7. Pawn scan and pawn structure from the pawns alone (kept between
  //      calls); of the passed pawns only the bonus of their phase and rank,
  //      halved when an enemy piece stands in front, the king distances and
  //      the connection bonus are added here.
  const PawnEntry& pawnInfo = pawnEntry(whitePawns, blackPawns);
  const int* lastWhite = pawnInfo.lastWhite;
  const int* lastBlack = pawnInfo.lastBlack;
  const u64* pawnAttacks = pawnInfo.pawnAttacks;
  score[WHITE] += pawnInfo.structure[WHITE];
  score[BLACK] += pawnInfo.structure[BLACK];
  for (u64 b = pawnInfo.passed[WHITE]; b;) {
    const unsigned s = popFirstSquare(b);
    const int v = EVAL_PASSED_PAWN[gamePhase * 8 + static_cast<int>(s >> 3)];
    int value = v;
    if (bbColorPiece[BLACK] & (bit(s) << 8)) value -= v >> 1;
    value += 2 * distance(s, blackKing) - distance(s, whiteKing);
    if (pawnInfo.connected[WHITE] & bit(s)) value += v >> 1;
    score[WHITE] += value;
  }
  for (u64 b = pawnInfo.passed[BLACK]; b;) {
    const unsigned s = popFirstSquare(b);
    const int v = EVAL_PASSED_PAWN[gamePhase * 8 + 7 - static_cast<int>(s >> 3)];
    int value = v;
    if (bbColorPiece[WHITE] & (bit(s) >> 8)) value -= v >> 1;
    value += 2 * distance(s, whiteKing) - distance(s, blackKing);
    if (pawnInfo.connected[BLACK] & bit(s)) value += v >> 1;
    score[BLACK] += value;
  }

  // 8-10. Pieces: mobility (all squares not held by own pieces), safe
  //       mobility counted twice (squares no lesser enemy piece attacks),
  //       king tropism, knight outposts, rook files and seventh-rank pieces.
  //       Each kind is done for both colours before the next kind, whose
  //       safe squares depend on the enemy's lesser pieces.
  u64 knightAttacks[2] = {0, 0}, bishopAttacksBy[2] = {0, 0};
  u64 rookAttacksBy[2] = {0, 0}, queenAttacksBy[2] = {0, 0};
  for (unsigned c = BLACK; c <= WHITE; ++c) {
    const unsigned enemy = c ^ 1;
    const unsigned enemyKing = kingSquare[enemy];
    const u64 free = ~bbColorPiece[c];
    const u64 unsafe = pawnAttacks[enemy];
    int value = 0;
    for (u64 b = bbPiece[c * 7 + KNIGHT]; b;) {
      const unsigned s = popFirstSquare(b);
      const u64 a = bbKnightAttack[s];
      knightAttacks[c] |= a;
      value += static_cast<int>(popCount(a & free) + 2 * popCount(a & free & ~unsafe));
      value += EVAL_TROPISM_KNIGHT[distance(s, enemyKing)];
      const int outpost = pos_outpost[c][s];
      if (outpost && (pawnAttacks[c] & bit(s)) && !(pawnAttacks[enemy] & bit(s))) value += outpost;
    }
    for (u64 b = bbPiece[c * 7 + BISHOP]; b;) {
      const unsigned s = popFirstSquare(b);
      const u64 a = bishopAttacks(s, occupied);
      bishopAttacksBy[c] |= a;
      value += static_cast<int>(popCount(a & free) + 2 * popCount(a & free & ~unsafe));
      value += EVAL_TROPISM_BISHOP[distance(s, enemyKing)];
    }
    score[c] += value;
  }
  for (unsigned c = BLACK; c <= WHITE; ++c) {
    const unsigned enemy = c ^ 1;
    const unsigned enemyKing = kingSquare[enemy];
    const u64 free = ~bbColorPiece[c];
    const u64 unsafe = pawnAttacks[enemy] | knightAttacks[enemy] | bishopAttacksBy[enemy];
    const int* ownLast = c == WHITE ? lastWhite : lastBlack;
    const int* enemyLast = c == WHITE ? lastBlack : lastWhite;
    const int ownNone = c == WHITE ? NO_WHITE_PAWN : NO_BLACK_PAWN;
    const int enemyNone = c == WHITE ? NO_BLACK_PAWN : NO_WHITE_PAWN;
    // Relative seventh rank, worth holding when the enemy king is on its
    // back rank or enemy pawns are still at home.
    const u64 seventh = c == WHITE ? RANK_7 : RANK_2;
    const bool seventhMatters =
        c == WHITE ? ((blackKing >> 3) == 7 || (blackPawns & RANK_7))
                   : ((whiteKing >> 3) == 0 || (whitePawns & RANK_2));
    int value = 0;
    for (u64 b = bbPiece[c * 7 + ROOK]; b;) {
      const unsigned s = popFirstSquare(b);
      const u64 a = rookAttacks(s, occupied);
      rookAttacksBy[c] |= a;
      value += static_cast<int>(popCount(a & free) + 2 * popCount(a & free & ~unsafe));
      value += EVAL_TROPISM_ROOK[distance(s, enemyKing)];
      const unsigned f = (s & 7) + 1;
      if (ownLast[f] == ownNone) {
        value += enemyLast[f] == enemyNone ? EVAL_ROOK_OPEN_FILE : EVAL_ROOK_SEMI_OPEN_FILE;
      }
      if ((seventh & bit(s)) && seventhMatters) value += EVAL_ROOK_ON_7TH;
    }
    score[c] += value;
  }
  for (unsigned c = BLACK; c <= WHITE; ++c) {
    const unsigned enemy = c ^ 1;
    const unsigned enemyKing = kingSquare[enemy];
    const u64 free = ~bbColorPiece[c];
    const u64 unsafe =
        pawnAttacks[enemy] | knightAttacks[enemy] | bishopAttacksBy[enemy] | rookAttacksBy[enemy];
    const u64 seventh = c == WHITE ? RANK_7 : RANK_2;
    const bool seventhMatters =
        c == WHITE ? ((blackKing >> 3) == 7 || (blackPawns & RANK_7))
                   : ((whiteKing >> 3) == 0 || (whitePawns & RANK_2));
    int value = 0;
    for (u64 b = bbPiece[c * 7 + QUEEN]; b;) {
      const unsigned s = popFirstSquare(b);
      const u64 a = queenAttacks(s, occupied);
      queenAttacksBy[c] |= a;
      value += static_cast<int>(popCount(a & free) + 2 * popCount(a & free & ~unsafe));
      value += EVAL_TROPISM_QUEEN[distance(s, enemyKing)];
      if ((seventh & bit(s)) && seventhMatters) value += EVAL_QUEEN_ON_7TH;
    }
    score[c] += value;
  }

  // 11. In the opening the queen belongs on her start square (a side without
  //     a queen pays too).
  if (gamePhase == 0) {
    if (!(bbPiece[WHITE * 7 + QUEEN] & bit(3))) score[WHITE] -= EVAL_EARLY_QUEEN_MOVE;
    if (!(bbPiece[BLACK * 7 + QUEEN] & bit(59))) score[BLACK] -= EVAL_EARLY_QUEEN_MOVE;
  }

  // 12. Pawn shield of a king on its first two ranks, before the endgame.
  if (gamePhase <= 1) {
    if (whiteKing < 16) {
      const int kf = static_cast<int>(whiteKing & 7);
      for (int f = kf - 1; f <= kf + 1; ++f) {
        if (f >= 0 && f <= 7) score[WHITE] -= EVAL_MISSING_PAWN_SHIELD[lastWhite[f + 1] + 1];
      }
    }
    if (blackKing >= 48) {
      const int kf = static_cast<int>(blackKing & 7);
      for (int f = kf - 1; f <= kf + 1; ++f) {
        if (f >= 0 && f <= 7) score[BLACK] -= EVAL_MISSING_PAWN_SHIELD[8 - lastBlack[f + 1]];
      }
    }
  }

  // 13. Squares next to each king that enemy pawns and pieces attack.
  const u64 attackedByWhite = pawnAttacks[WHITE] | knightAttacks[WHITE] | bishopAttacksBy[WHITE] |
                              rookAttacksBy[WHITE] | queenAttacksBy[WHITE];
  const u64 attackedByBlack = pawnAttacks[BLACK] | knightAttacks[BLACK] | bishopAttacksBy[BLACK] |
                              rookAttacksBy[BLACK] | queenAttacksBy[BLACK];
  score[WHITE] -= EVAL_KING_SAFETY_ATTACK * static_cast<int>(popCount(bbKingAttack[whiteKing] & attackedByBlack));
  score[BLACK] -= EVAL_KING_SAFETY_ATTACK * static_cast<int>(popCount(bbKingAttack[blackKing] & attackedByWhite));

  // 14. White's total less Black's, from the side to move.
  const int total = base + score[WHITE] - score[BLACK];
  return stm == WHITE ? total : -total;
}
