// Static evaluation of a position, in centipawns from the side to move.
//
// Material and piece-square sums are kept by make and unmake; everything else
// (pawn structure, trapped pieces, mobility, king tropism, outposts, rook
// files, seventh-rank pieces, queen development, pawn shield, attacks near
// the king) is computed here, or read from the evaluation table for a
// position evaluated before. Each term is one function written once for a
// colour, in ranks and squares relative to that colour (a square of Black
// is mirrored with s ^ 56), so a colour-mirrored position evaluates to
// exactly the same number. Squares beside or beyond the edge are reached
// by shifting bitboards, never by indexing, so an off-board square is
// empty.
#include "engine/evaluate.h"

#include "engine/bitboard.h"
#include "engine/chessboard.h"
#include "engine/node.h"

// clang-format off
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
// clang-format on

namespace {

// Relative rank of the most advanced pawn of a file without a pawn of that
// colour.
const int NO_PAWN = -1;

// The evaluation's helpers and terms are inlined into computePositionalScore,
// so that its POPCNT copy counts with the instruction everywhere.
#define EVAL_INLINE inline __attribute__((always_inline))

constexpr u64 bit(unsigned square) { return 1ULL << square; }

// A square, or rank, seen from colour c: White's own, Black's mirrored.
EVAL_INLINE unsigned relativeSquare(unsigned c, unsigned square) {
  return c == WHITE ? square : square ^ 56;
}
EVAL_INLINE int relativeRank(unsigned c, unsigned square) {
  return static_cast<int>(relativeSquare(c, square) >> 3);
}
// The squares one rank ahead of a set, for colour c.
EVAL_INLINE u64 ahead(unsigned c, u64 set) { return c == WHITE ? set << 8 : set >> 8; }

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

EVAL_INLINE int distance(unsigned a, unsigned b) { return DISTANCE.d[a][b]; }

// Both patterns hold: every square of mask is in set.
EVAL_INLINE bool all(u64 set, u64 mask) { return (set & mask) == mask; }

// What the pawn scan finds, for the terms that read pawn files. Packed
// small, as the pawn table keeps it: with its two pawn sets an entry fills
// one cache line.
struct PawnFiles {
  // By colour and file of its king, the missing pawn shield penalty of the
  // king's file and the files beside it (at most three times 50).
  u8 shield[2][8];
  // By colour, the files without its pawns, a bit per file (fileSquares).
  u8 noPawnFiles[2];
  // By colour, the doubled, isolated and backward pawn penalties.
  int16_t structure[2];
  // The passed pawns of both colours (a square holds one pawn), and those of
  // them with an own pawn beside them level or one rank behind.
  u64 passed;
  u64 connected;
};

// Every square of the files of a set of file bits.
EVAL_INLINE u64 fileSquares(unsigned files) { return files * bbFile[0]; }

// Squares attacked by each kind of piece of each colour, filled term by
// term: the safe squares of a piece are those no lesser enemy piece attacks.
struct PieceAttacks {
  u64 pawns[2] = {0, 0};
  u64 knights[2] = {0, 0};
  u64 bishops[2] = {0, 0};
  u64 rooks[2] = {0, 0};
  u64 queens[2] = {0, 0};
};

// The pawn shield penalties of every king file, from the relative rank of
// the most advanced pawn of each file.
EVAL_INLINE void scanPawns(const ChessBoardNode& node, PawnFiles& files) {
  for (unsigned c = BLACK; c <= WHITE; ++c) {
    int front[8];
    for (int f = 0; f < 8; ++f) front[f] = NO_PAWN;
    for (u64 b = node.bbPiece[c * 7 + PAWN]; b;) {
      const unsigned s = popFirstSquare(b);
      const int r = relativeRank(c, s);
      if (r > front[s & 7]) front[s & 7] = r;
    }
    for (int kf = 0; kf < 8; ++kf) {
      int penalty = 0;
      for (int f = kf - 1; f <= kf + 1; ++f) {
        if (f >= 0 && f <= 7) penalty += EVAL_MISSING_PAWN_SHIELD[front[f] + 1];
      }
      files.shield[c][kf] = static_cast<u8>(penalty);
    }
  }
}

// Blocked centre pawns and pieces trapped in a corner: a d- or e-pawn at
// home with its stop square occupied; a knight on a7 with enemy pawns on b7
// and a6, or on h7 with g7 and h6; a bishop on a7 with b6 and c7, or on h7
// with g6 and f7; before the endgame a rook shut in its corner by its own
// king (squares as White sees them).
EVAL_INLINE int blockedPieces(const ChessBoardNode& node, unsigned c) {
  const unsigned enemy = c ^ 1;
  const u64 occupied = node.bbAllPiece;
  const u64 pawns = node.bbPiece[c * 7 + PAWN];
  const u64 enemyPawns = node.bbPiece[enemy * 7 + PAWN];
  auto sq = [c](unsigned square) { return bit(relativeSquare(c, square)); };
  int value = 0;
  if ((pawns & sq(11)) && (occupied & sq(19))) value -= BLOCKED_PAWN;  // d2, d3
  if ((pawns & sq(12)) && (occupied & sq(20))) value -= BLOCKED_PAWN;  // e2, e3
  // Minor pieces on a7 or h7 are rare: one test for both.
  const u64 knights = node.bbPiece[c * 7 + KNIGHT];
  const u64 bishops = node.bbPiece[c * 7 + BISHOP];
  if ((knights | bishops) & (sq(48) | sq(55))) {
    if ((knights & sq(48)) && all(enemyPawns, sq(49) | sq(40))) {
      value -= BLOCKED_KNIGHT;
    } else if ((knights & sq(55)) && all(enemyPawns, sq(54) | sq(47))) {
      value -= BLOCKED_KNIGHT;
    }
    if ((bishops & sq(48)) && all(enemyPawns, sq(41) | sq(50))) {
      value -= BLOCKED_BISHOP;
    } else if ((bishops & sq(55)) && all(enemyPawns, sq(46) | sq(53))) {
      value -= BLOCKED_BISHOP;
    }
  }
  if (node.gamePhase <= 1) {
    const u64 rooks = node.bbPiece[c * 7 + ROOK];
    const unsigned king = relativeSquare(c, node.kingSquare[c]);
    if (king >= 5 && king <= 7) {
      if (rooks & (sq(6) | sq(7))) value -= BLOCKED_ROOK;
    } else if (king <= 2) {
      if (rooks & (sq(0) | sq(1))) value -= BLOCKED_ROOK;
    }
  }
  return value;
}

// Every square of a set and those ahead of it on their files, for colour c.
EVAL_INLINE u64 fillAhead(unsigned c, u64 set) {
  for (unsigned step = 8; step <= 32; step *= 2) set |= c == WHITE ? set << step : set >> step;
  return set;
}
// The squares one file to the left and one to the right of a set.
EVAL_INLINE u64 besideFiles(u64 set) {
  return ((set & ~bbFile[0]) >> 1) | ((set & ~bbFile[7]) << 1);
}

// The squares the pawns of colour c attack: those beside them, one rank
// ahead.
EVAL_INLINE u64 pawnAttacks(const ChessBoardNode& node, unsigned c) {
  return ahead(c, besideFiles(node.bbPiece[c * 7 + PAWN]));
}

// The pawn-only terms of colour c, all pawns at once, in the terms of the
// file fronts (the most advanced pawn of a colour on a file), and the files
// without its pawns:
// - doubled: an own pawn further ahead on its file;
// - isolated: no own pawn on either adjacent file;
// - backward: not isolated, and the front of every adjacent file that has
//   own pawns lies ahead of it;
// - passed: on its own and both adjacent files, no enemy front (the enemy
//   pawn nearest to c's first rank) lies ahead of it; connected among
//   these: the own front of an adjacent file level with it or one rank
//   behind.
EVAL_INLINE void pawnOnlyTerms(const ChessBoardNode& node, unsigned c, PawnFiles& files) {
  const u64 pawns = node.bbPiece[c * 7 + PAWN];
  const u64 enemyPawns = node.bbPiece[(c ^ 1) * 7 + PAWN];
  // 1. The squares behind an own pawn of their file, and the files that
  //    have own pawns; the left file of a square is the right one of the
  //    square one file to its left, hence the opposite shifts.
  const u64 behindOwn = fillAhead(c ^ 1, ahead(c ^ 1, pawns));
  const u64 ownFiles = fillAhead(c, fillAhead(c ^ 1, pawns));
  files.noPawnFiles[c] = static_cast<u8>(~ownFiles);
  const u64 leftHasPawns = (ownFiles & ~bbFile[7]) << 1;
  const u64 rightHasPawns = (ownFiles & ~bbFile[0]) >> 1;
  const u64 leftAhead = (behindOwn & ~bbFile[7]) << 1;
  const u64 rightAhead = (behindOwn & ~bbFile[0]) >> 1;
  // 2. The structure penalties.
  const u64 doubled = pawns & behindOwn;
  const u64 isolated = pawns & ~(leftHasPawns | rightHasPawns);
  const u64 backward =
      pawns & ~isolated & (~leftHasPawns | leftAhead) & (~rightHasPawns | rightAhead);
  files.structure[c] = -static_cast<int16_t>(EVAL_DOUBLED_PAWN * popCount(doubled) +
                                             EVAL_ISOLATED_PAWN * popCount(isolated) +
                                             EVAL_BACKWARD_PAWN * popCount(backward));
  // 3. Passed: the squares of the enemy's files behind its front, and those
  //    beside them, are not passed.
  const u64 enemyFiles = fillAhead(c, fillAhead(c ^ 1, enemyPawns));
  const u64 behindEnemyFront = enemyFiles & ~fillAhead(c, enemyPawns);
  const u64 passed = pawns & ~(behindEnemyFront | besideFiles(behindEnemyFront));
  files.passed |= passed;
  // 4. Connected: beside an own front, or beside the square ahead of one.
  const u64 fronts = pawns & ~behindOwn;
  files.connected |= passed & besideFiles(fronts | ahead(c, fronts));
}

// The passed pawns of colour c: the bonus of its phase and rank, halved
// when an enemy piece stands in front of it and raised by half for one with
// an own pawn beside it; the enemy king's distance counts twice for it, its
// own king's against it.
EVAL_INLINE int passedPawns(const ChessBoardNode& node, unsigned c, const PawnFiles& files) {
  const unsigned enemy = c ^ 1;
  int value = 0;
  for (u64 b = files.passed & node.bbPiece[c * 7 + PAWN]; b;) {
    const unsigned s = popFirstSquare(b);
    const int v = EVAL_PASSED_PAWN[node.gamePhase * 8 + relativeRank(c, s)];
    value += v;
    if (node.bbColorPiece[enemy] & ahead(c, bit(s))) value -= v >> 1;
    value += 2 * distance(s, node.kingSquare[enemy]) - distance(s, node.kingSquare[c]);
    if (files.connected & bit(s)) value += v >> 1;
  }
  return value;
}

// The pawn-only results of a pawn placement, kept in a table indexed by a
// hash of the two pawn sets: pawn structures repeat all through a search.
// An entry holds its two pawn sets, so a hit is always the same placement.
struct alignas(64) PawnEntry {
  u64 pawns[2];
  PawnFiles files;
  bool filled;
};
static_assert(sizeof(PawnEntry) == 64, "a pawn entry is one cache line");
// 256 KB: it shares the second-level cache with the search's other tables.
const unsigned PAWN_TABLE_BITS = 12;
PawnEntry pawnTable[1u << PAWN_TABLE_BITS];

// The entry of a pawn placement.
EVAL_INLINE PawnEntry& pawnEntry(const ChessBoardNode& node) {
  const u64 white = node.bbPiece[WHITE * 7 + PAWN], black = node.bbPiece[BLACK * 7 + PAWN];
  const u64 mix = white * 0x9E3779B97F4A7C15ULL + black * 0xC2B2AE3D27D4EB4FULL;
  return pawnTable[mix >> (64 - PAWN_TABLE_BITS)];
}

// The pawn-only results of the position, from its entry `e` (filled first
// when it holds another placement).
EVAL_INLINE const PawnFiles& pawnFiles(const ChessBoardNode& node, PawnEntry& e) {
  const u64 white = node.bbPiece[WHITE * 7 + PAWN], black = node.bbPiece[BLACK * 7 + PAWN];
  if (e.filled && e.pawns[WHITE] == white && e.pawns[BLACK] == black) return e.files;
  e.filled = true;
  e.pawns[WHITE] = white;
  e.pawns[BLACK] = black;
  e.files.passed = e.files.connected = 0;
  scanPawns(node, e.files);
  for (unsigned c = BLACK; c <= WHITE; ++c) pawnOnlyTerms(node, c, e.files);
  return e.files;
}

// Mobility of one piece: every square not held by an own piece, and the
// safe ones among them again twice.
EVAL_INLINE int mobility(u64 attacks, u64 free, u64 unsafe) {
  return static_cast<int>(popCount(attacks & free) + 2 * popCount(attacks & free & ~unsafe));
}

// Knights and bishops: mobility (safe from enemy pawns), king tropism, and
// knight outposts that an own pawn guards and no enemy pawn attacks.
EVAL_INLINE int minorPieces(const ChessBoardNode& node, unsigned c, PieceAttacks& attacks) {
  const unsigned enemy = c ^ 1;
  const unsigned enemyKing = node.kingSquare[enemy];
  const u64 free = ~node.bbColorPiece[c];
  const u64 unsafe = attacks.pawns[enemy];
  int value = 0;
  for (u64 b = node.bbPiece[c * 7 + KNIGHT]; b;) {
    const unsigned s = popFirstSquare(b);
    const u64 a = bbKnightAttack[s];
    attacks.knights[c] |= a;
    value += mobility(a, free, unsafe);
    value += EVAL_TROPISM_KNIGHT[distance(s, enemyKing)];
  }
  // Outposts: only a knight that an own pawn guards and no enemy pawn
  // attacks can hold one.
  const u64 guarded = attacks.pawns[c] & ~attacks.pawns[enemy];
  for (u64 b = node.bbPiece[c * 7 + KNIGHT] & guarded; b;)
    value += pos_outpost[c][popFirstSquare(b)];
  for (u64 b = node.bbPiece[c * 7 + BISHOP]; b;) {
    const unsigned s = popFirstSquare(b);
    const u64 a = bishopAttacks(s, node.bbAllPiece);
    attacks.bishops[c] |= a;
    value += mobility(a, free, unsafe);
    value += EVAL_TROPISM_BISHOP[distance(s, enemyKing)];
  }
  return value;
}

// A rook or queen on its seventh rank is worth something when the enemy
// king is on its back rank or enemy pawns are still at home.
EVAL_INLINE bool seventhRankMatters(const ChessBoardNode& node, unsigned c) {
  const unsigned enemy = c ^ 1;
  return relativeRank(enemy, node.kingSquare[enemy]) == 0 ||
         (node.bbPiece[enemy * 7 + PAWN] & bbRank[enemy == WHITE ? 1 : 6]);
}
EVAL_INLINE u64 seventhRank(unsigned c) { return bbRank[c == WHITE ? 6 : 1]; }

// Rooks (TYPE ROOK) or queens (QUEEN): mobility (safe from enemy pawns and
// minor pieces, and for a queen from enemy rooks too), king tropism, the
// seventh rank, and for a rook an open or half-open file.
template <unsigned TYPE>
EVAL_INLINE int majorPieces(const ChessBoardNode& node, unsigned c, const PawnFiles& files,
                            PieceAttacks& attacks) {
  const bool rook = TYPE == ROOK;
  const unsigned enemy = c ^ 1;
  const unsigned enemyKing = node.kingSquare[enemy];
  const u64 free = ~node.bbColorPiece[c];
  const u64 unsafe = attacks.pawns[enemy] | attacks.knights[enemy] | attacks.bishops[enemy] |
                     (rook ? 0 : attacks.rooks[enemy]);
  const i32* tropism = rook ? EVAL_TROPISM_ROOK : EVAL_TROPISM_QUEEN;
  const int seventhBonus = rook ? EVAL_ROOK_ON_7TH : EVAL_QUEEN_ON_7TH;
  const u64 pieces = node.bbPiece[c * 7 + TYPE];
  u64& attacked = rook ? attacks.rooks[c] : attacks.queens[c];
  int value = 0;
  for (u64 b = pieces; b;) {
    const unsigned s = popFirstSquare(b);
    const u64 a = rook ? rookAttacks(s, node.bbAllPiece) : queenAttacks(s, node.bbAllPiece);
    attacked |= a;
    value += mobility(a, free, unsafe);
    value += tropism[distance(s, enemyKing)];
  }
  // Rooks on files without own pawns: seldom more than two, so counted by
  // clearing bits rather than with population counts.
  for (u64 b = rook ? pieces & fileSquares(files.noPawnFiles[c]) : 0; b; b &= b - 1) {
    value += (b & -b & fileSquares(files.noPawnFiles[enemy])) ? EVAL_ROOK_OPEN_FILE
                                                              : EVAL_ROOK_SEMI_OPEN_FILE;
  }
  // The seventh rank is judged only when a piece stands on it.
  const u64 onSeventh = pieces & seventhRank(c);
  if (onSeventh && seventhRankMatters(node, c)) {
    value += seventhBonus * static_cast<int>(popCount(onSeventh));
  }
  return value;
}

// In the opening the queen belongs on her start square (a side without a
// queen pays too).
EVAL_INLINE int queenDevelopment(const ChessBoardNode& node, unsigned c) {
  if (node.gamePhase != 0 || (node.bbPiece[c * 7 + QUEEN] & bit(relativeSquare(c, 3)))) return 0;
  return -EVAL_EARLY_QUEEN_MOVE;
}

// King safety: before the endgame, the pawn shield of a king on its first
// two ranks; always, the squares next to the king that enemy pawns and
// pieces attack.
EVAL_INLINE int kingSafety(const ChessBoardNode& node, unsigned c, const PawnFiles& files,
                           const PieceAttacks& attacks) {
  const unsigned enemy = c ^ 1;
  const unsigned king = node.kingSquare[c];
  int value = 0;
  if (node.gamePhase <= 1 && relativeRank(c, king) <= 1) value -= files.shield[c][king & 7];
  const u64 attackedByEnemy = attacks.pawns[enemy] | attacks.knights[enemy] |
                              attacks.bishops[enemy] | attacks.rooks[enemy] | attacks.queens[enemy];
  value -=
      EVAL_KING_SAFETY_ATTACK * static_cast<int>(popCount(bbKingAttack[king] & attackedByEnemy));
  return value;
}

// Steps 4-13 of the evaluation: White's positional terms less Black's.
EVAL_INLINE int computePositionalScore(const ChessBoardNode& node) {
  // The pawn table entry is read at step 5: it is loaded while step 4 runs.
  PawnEntry& pawns = pawnEntry(node);
  __builtin_prefetch(&pawns);

  // 4. Blocked centre pawns and trapped pieces.
  int score[2];
  for (unsigned c = BLACK; c <= WHITE; ++c) score[c] = blockedPieces(node, c);

  // 5-7. Pawn scan, pawn structure and passed pawns; what the pawns alone
  //      decide comes from the pawn table.
  const PawnFiles& files = pawnFiles(node, pawns);
  for (unsigned c = BLACK; c <= WHITE; ++c) {
    score[c] += files.structure[c] + passedPawns(node, c, files);
  }

  // 8-11. Pieces. Each kind is done for both colours before the next kind,
  //       whose safe squares depend on the enemy's lesser pieces.
  PieceAttacks attacks;
  for (unsigned c = BLACK; c <= WHITE; ++c) attacks.pawns[c] = pawnAttacks(node, c);
  for (unsigned c = BLACK; c <= WHITE; ++c) score[c] += minorPieces(node, c, attacks);
  for (unsigned c = BLACK; c <= WHITE; ++c) score[c] += majorPieces<ROOK>(node, c, files, attacks);
  for (unsigned c = BLACK; c <= WHITE; ++c) {
    score[c] += majorPieces<QUEEN>(node, c, files, attacks) + queenDevelopment(node, c);
  }

  // 12-13. King safety, once every attack is known.
  for (unsigned c = BLACK; c <= WHITE; ++c) score[c] += kingSafety(node, c, files, attacks);

  return score[WHITE] - score[BLACK];
}

// The positional terms depend on the placement of the pieces alone, which
// repeats all through a search, so they are kept in a table indexed by the
// low EVAL_TABLE_BITS bits of a key of the placement: the position's key
// without its side to move, so that both sides to move share an entry (a
// null move, for one, leaves the placement as it is). An entry is one word:
// the key's bits above the index, and in the index bits the score offset by
// EVAL_SCORE_OFFSET, which leaves 0 to the empty entry. The index and the
// stored bits together are the whole key, so a hit is always the same
// placement (castling and en-passant parts of the key only make a few copies
// of it). A score that does not fit is not kept.
// The table is kept small (128 KB), so that it stays in the second-level
// cache beside the search's other tables: a larger one saves a few
// evaluations but misses that cache more often, which costs more.
const unsigned EVAL_TABLE_BITS = 14;
const u64 EVAL_INDEX_MASK = (1ULL << EVAL_TABLE_BITS) - 1;
const int EVAL_SCORE_OFFSET = 1 << (EVAL_TABLE_BITS - 1);
u64 evalTable[1u << EVAL_TABLE_BITS];

// The key of the position's placement for the evaluation table.
EVAL_INLINE u64 placementKey(const ChessBoardNode& node) {
  return node.sideToMove == WHITE ? node.hashKey : node.hashKey ^ node.zobrist.sideKey;
}

// The entry of a key, and what it holds for that key above the score.
EVAL_INLINE u64& evalEntry(u64 key) { return evalTable[key & EVAL_INDEX_MASK]; }
EVAL_INLINE u64 evalTag(u64 key) { return key & ~EVAL_INDEX_MASK; }

// Step 14: a total of White less Black, from the side to move.
EVAL_INLINE int fromSideToMove(const ChessBoardNode& node, int total) {
  return node.sideToMove == WHITE ? total : -total;
}

// The evaluation of a position the table does not hold, from its base: the
// positional terms computed and kept in its entry. They count squares with
// a population count; a second copy is compiled for processors with the
// POPCNT instruction and chosen at load time (both compute the same
// numbers). Out of line and called last, so that the calls that end before
// it (draw, lazy exit, table hit) stay short.
[[gnu::target_clones("popcnt", "default"), gnu::noinline]] int evaluateAndKeep(
    const ChessBoardNode& node, int base) {
  const int score = computePositionalScore(node);
  if (score > -EVAL_SCORE_OFFSET && score < EVAL_SCORE_OFFSET) {
    const u64 key = placementKey(node);
    evalEntry(key) = evalTag(key) | static_cast<u64>(score + EVAL_SCORE_OFFSET);
  }
  return fromSideToMove(node, base + score);
}

}  // namespace

void prefetchEvaluation(const ChessBoardNode& node) {
  // Both at once, so that their waits for memory overlap.
  __builtin_prefetch(&evalEntry(placementKey(node)));
  __builtin_prefetch(&pawnEntry(node));
}

int ChessBoardNode::evaluateDraw(int colour) {
  const u8* count = &pieceCount[colour * 7];
  return count[PAWN] == 0 && count[ROOK] == 0 && count[QUEEN] == 0 && count[BISHOP] <= 1 &&
                 count[KNIGHT] <= 2 && !(count[KNIGHT] && count[BISHOP])
             ? 1
             : 0;
}

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
    const int s = fromSideToMove(*this, base);
    if (s - LAZY_EVAL_MARGIN > beta || s + LAZY_EVAL_MARGIN < alpha) return s;
  }

  // 4-14. The positional terms from the evaluation table, or computed and
  //       kept there.
  const u64 key = placementKey(*this);
  const u64 entry = evalEntry(key);
  const int stored = static_cast<int>(entry & EVAL_INDEX_MASK);
  if ((entry & ~EVAL_INDEX_MASK) != evalTag(key) || stored == 0)
    return evaluateAndKeep(*this, base);
  return fromSideToMove(*this, base + stored - EVAL_SCORE_OFFSET);
}
