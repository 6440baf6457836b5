// Constant piece tables and the computed bitboard and magic attack tables.
// The computed tables are filled by initBitBoards at every engine
// construction; each rebuild gives the same contents.
#include "engine/bitboard.h"

#include <cstring>

#include "engine/hugepage.h"
#include "engine/log.h"

const i32 PieceValue[7] = {0, 100, 325, 325, 500, 975, 5000};
const i32 PieceCaptureValue[7] = {0, 100, 325, 325, 500, 975, 0};
const i32 PieceCaptureSEEValue[7] = {0, 100, 325, 325, 500, 975, 5000};
const i32 PieceGamePhaseValue[7] = {0, 0, 1, 1, 2, 4, 0};
// Summed phase weights of both sides to the game phase: 0 opening .. 3 endgame.
const i32 GamePhaseValue[32] = {3, 2, 2, 2, 2, 2, 2, 2, 2, 1, 1, 1, 1, 1, 1, 1,
                                1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
// By capturing colour: the pawn taken en passant stands this far from the target.
const i32 EnPassantOffset[2] = {8, -8};
const char pieceName[8] = "0pnbrqk";

u64 bbMask[64];
u64 bbClear[64];
const u64 bbFile[8] = {0x0101010101010101ULL, 0x0202020202020202ULL, 0x0404040404040404ULL,
                       0x0808080808080808ULL, 0x1010101010101010ULL, 0x2020202020202020ULL,
                       0x4040404040404040ULL, 0x8080808080808080ULL};
const u64 bbRank[8] = {0x00000000000000FFULL, 0x000000000000FF00ULL, 0x0000000000FF0000ULL,
                       0x00000000FF000000ULL, 0x000000FF00000000ULL, 0x0000FF0000000000ULL,
                       0x00FF000000000000ULL, 0xFF00000000000000ULL};
u64 bbDiag45R[64];
u64 bbDiag45L[64];
u64 bbKnightAttack[64];
u64 bbKingAttack[64];
u64 bbPawnAttack[2][64];
u8 direction[64][64];
u64 bbLine[5][64];

MagicSquare magicRook[64];
MagicSquare magicBishop[64];
// The attack slices of both sliders in one block of a huge page's size and
// alignment, offered for a huge page before their first write: move
// generation, attack tests and the evaluation's mobility read them at
// random, and in 4 KB pages their 840 KB would span some 210 entries of the
// address translation cache, more than its first level holds.
namespace {
struct alignas(HUGE_PAGE_BYTES) SliceBlock {
  u64 rook[102400];
  u64 bishop[5248];
};
SliceBlock sliceBlock;
}  // namespace
u64 (&magicTableRook)[102400] = sliceBlock.rook;
u64 (&magicTableBishop)[5248] = sliceBlock.bishop;

// Scratch copy of one square's slice while the tables are filled.
static u64 indexList[4096];

void printBitBoard(u64) {}

// Adds square (rank, file) to the set when it lies on the board.
static void addSquare(u64& set, int rank, int file) {
  if (rank >= 0 && rank < 8 && file >= 0 && file < 8) set |= 1ULL << (rank * 8 + file);
}

// Walks the rays given as (rank step, file step) pairs; a ray stops at the
// board edge and after the first occupied square.
static u64 walkRays(int square, u64 occupancy, const int (*steps)[2]) {
  u64 attack = 0;
  for (int d = 0; d < 4; d++) {
    int rank = (square >> 3) + steps[d][0];
    int file = (square & 7) + steps[d][1];
    while (rank >= 0 && rank < 8 && file >= 0 && file < 8) {
      u64 bit = 1ULL << (rank * 8 + file);
      attack |= bit;
      if (occupancy & bit) break;
      rank += steps[d][0];
      file += steps[d][1];
    }
  }
  return attack;
}

u64 RookAttack(int square, u64 occupancy) {
  static const int steps[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
  return walkRays(square, occupancy, steps);
}

u64 BishopAttack(int square, u64 occupancy) {
  static const int steps[4][2] = {{1, 1}, {-1, 1}, {1, -1}, {-1, -1}};
  return walkRays(square, occupancy, steps);
}

void initBitBoards() {
  // 1. Single-square masks.
  for (int s = 0; s < 64; s++) {
    bbMask[s] = 1ULL << s;
    bbClear[s] = ~bbMask[s];
  }

  // 2. Pawn, knight and king attack sets.
  memset(bbPawnAttack, 0, sizeof bbPawnAttack);
  memset(bbKnightAttack, 0, sizeof bbKnightAttack);
  memset(bbKingAttack, 0, sizeof bbKingAttack);
  static const int knightSteps[8][2] = {{2, 1}, {2, -1}, {-2, 1}, {-2, -1},
                                        {1, 2}, {1, -2}, {-1, 2}, {-1, -2}};
  for (int r = 0; r < 8; r++) {
    for (int f = 0; f < 8; f++) {
      int s = r * 8 + f;
      if (r < 7) {
        addSquare(bbPawnAttack[WHITE][s], r + 1, f - 1);
        addSquare(bbPawnAttack[WHITE][s], r + 1, f + 1);
      }
      if (r > 0) {
        addSquare(bbPawnAttack[BLACK][s], r - 1, f - 1);
        addSquare(bbPawnAttack[BLACK][s], r - 1, f + 1);
      }
      for (const auto& k : knightSteps) addSquare(bbKnightAttack[s], r + k[0], f + k[1]);
      for (int dr = -1; dr <= 1; dr++)
        for (int df = -1; df <= 1; df++)
          if (dr || df) addSquare(bbKingAttack[s], r + dr, f + df);
    }
  }

  // 3. The two diagonals through each square, the square itself excluded:
  //    bbDiag45R runs a1-h8 (steps +9, -9), bbDiag45L a8-h1 (steps +7, -7).
  for (int s = 0; s < 64; s++) {
    bbDiag45R[s] = 0;
    bbDiag45L[s] = 0;
    int r = s >> 3, f = s & 7;
    for (int i = 1; i < 8; i++) {
      addSquare(bbDiag45R[s], r + i, f + i);
      addSquare(bbDiag45R[s], r - i, f - i);
      addSquare(bbDiag45L[s], r + i, f - i);
      addSquare(bbDiag45L[s], r - i, f + i);
    }
    bbLine[0][s] = 0;
    bbLine[1][s] = bbFile[s & 7];
    bbLine[2][s] = bbRank[s >> 3];
    bbLine[3][s] = bbDiag45R[s];
    bbLine[4][s] = bbDiag45L[s];
  }

  // 4. Relation of every pair of squares: same file, rank or diagonal.
  for (int a = 0; a < 64; a++) {
    for (int b = 0; b < 64; b++) {
      int dr = (b >> 3) - (a >> 3);
      int df = (b & 7) - (a & 7);
      u8 rel = 0;
      if (df == 0 && dr != 0)
        rel = 1;
      else if (dr == 0 && df != 0)
        rel = 2;
      else if (df == dr && df != 0)
        rel = 3;
      else if (df == -dr && df != 0)
        rel = 4;
      direction[a][b] = rel;
    }
  }

  // 5.
  createMagicTable();
}

// Fills one slider kind's slices and lookup records: every subset of each
// square's mask is enumerated (carry-rippler) and its attack set stored at
// the magic index.
static void fillMagicSlices(u64* table, MagicSquare* lookup, const u64* mask, const u64* magic,
                            const u32* shift, u64 (*attack)(int, u64)) {
  u32 offset = 0;
  for (int s = 0; s < 64; s++) {
    for (u64& e : indexList) e = ~0ULL;
    u64* slice = table + offset;
    MagicSquare& m = lookup[s];
    m.attacks = slice;
    m.mask = mask[s];
#ifdef QUARVEL_FOLDED_MAGIC_INDEX
    m.magicLow = (u32)magic[s];
    m.magicHigh = (u32)(magic[s] >> 32);
    m.shift = shift[s] - 32;
#else
    m.magic = magic[s];
    m.shift = shift[s];
#endif
    u64 o = 0;
    do {
      u32 i = magicIndex(m, o);
      u64 a = attack(s, o);
      if (indexList[i] == ~0ULL) {
        slice[i] = a;
        indexList[i] = a;
      } else if (indexList[i] != a) {
        Log::print(17, "bad collision");
      }
      o = (o - mask[s]) & mask[s];
    } while (o);
    offset += 1u << (64 - shift[s]);
  }
}

void createMagicTable() {
  adviseHugePages(&sliceBlock, sizeof sliceBlock);
  memset(magicTableBishop, 0, sizeof magicTableBishop);
  memset(magicTableRook, 0, sizeof magicTableRook);
  Log::print("bishop");
#ifdef QUARVEL_FOLDED_MAGIC_INDEX
  const u64* bishopMagic = magicBishopMagic32;
  const u64* rookMagic = magicRookMagic32;
#else
  const u64* bishopMagic = magicBishopMagic;
  const u64* rookMagic = magicRookMagic;
#endif
  fillMagicSlices(magicTableBishop, magicBishop, magicBishopMask, bishopMagic, magicBishopShift,
                  BishopAttack);
  Log::print("rook");
  fillMagicSlices(magicTableRook, magicRook, magicRookMask, rookMagic, magicRookShift, RookAttack);
}
