// Board geometry, constant piece tables, and the bitboard and magic attack
// tables every other part of the engine computes with.
#pragma once

#include <cstdint>

#include "engine/types.h"

// Constant tables indexed by piece code.
extern const i32 PieceValue[7];
extern const i32 PieceCaptureValue[7];
extern const i32 PieceCaptureSEEValue[7];
extern const i32 PieceGamePhaseValue[7];
extern const i32 GamePhaseValue[32];
extern const i32 EnPassantOffset[2];
extern const char pieceName[8];

// Game phase of a summed phase weight; sums past the table (many promoted
// pieces) count as the opening.
inline i32 gamePhaseOf(i32 phaseWeightSum) {
  return (phaseWeightSum >= 0 && phaseWeightSum < 32) ? GamePhaseValue[phaseWeightSum] : 0;
}

// Computed tables.
extern u64 bbMask[64];
extern u64 bbClear[64];
extern const u64 bbFile[8];
extern const u64 bbRank[8];
extern u64 bbDiag45R[64];
extern u64 bbDiag45L[64];
extern u64 bbKnightAttack[64];
extern u64 bbKingAttack[64];
extern u64 bbPawnAttack[2][64];
extern u8 direction[64][64];
// By direction (as in `direction`) and square: 0 for none, then the file,
// the rank, bbDiag45R and bbDiag45L of the square.
extern u64 bbLine[5][64];

// The whole line of a direction through a square; 0 for none. A table
// rather than a choice, as the direction varies from move to move.
inline u64 lineThrough(unsigned square, unsigned dir) { return bbLine[dir][square]; }

// Magic attack tables.
extern const u64 magicRookMask[64];
extern const u64 magicBishopMask[64];
extern const u32 magicRookShift[64];
extern const u32 magicBishopShift[64];
extern const u64 magicRookMagic[64];
extern const u64 magicBishopMagic[64];

// A 32-bit processor multiplies 64-bit words in three steps, so the 32-bit
// build forms the index from two 32-bit products instead: the low halves of
// occupancy and multiplier, XORed with the high halves, shifted right by 32
// minus the number of mask bits. It has its own multipliers (high half in
// the upper 32 bits), valid for that index in the same way; masks, slice
// sizes and attack sets are the same.
#if UINTPTR_MAX <= 0xFFFFFFFFu
#define QUARVEL_FOLDED_MAGIC_INDEX 1
extern const u64 magicRookMagic32[64];
extern const u64 magicBishopMagic32[64];
#endif

// One square's lookup, packed so that a lookup reads one record: the start
// of the square's slice in the attack table, then the mask, multiplier and
// shift of the fixed tables above.
struct MagicSquare {
  const u64* attacks;
  u64 mask;
#ifdef QUARVEL_FOLDED_MAGIC_INDEX
  u32 magicLow;
  u32 magicHigh;
#else
  u64 magic;
#endif
  u32 shift;
};
extern MagicSquare magicRook[64];
extern MagicSquare magicBishop[64];
extern u64 (&magicTableRook)[102400];
extern u64 (&magicTableBishop)[5248];

void initBitBoards();
void createMagicTable();
u64 RookAttack(int square, u64 occupancy);
u64 BishopAttack(int square, u64 occupancy);
void printBitBoard(u64);

// Index of an occupancy in a square's slice.
inline u32 magicIndex(const MagicSquare& m, u64 occupancy) {
  const u64 o = occupancy & m.mask;
#ifdef QUARVEL_FOLDED_MAGIC_INDEX
  return ((u32)o * m.magicLow ^ (u32)(o >> 32) * m.magicHigh) >> m.shift;
#else
  return (u32)((o * m.magic) >> m.shift);
#endif
}

// Slider attack sets: one masked multiply, one shift, one table read.
inline u64 magicAttacks(const MagicSquare& m, u64 occupancy) {
  return m.attacks[magicIndex(m, occupancy)];
}
inline u64 rookAttacks(unsigned square, u64 occupancy) {
  return magicAttacks(magicRook[square], occupancy);
}
inline u64 bishopAttacks(unsigned square, u64 occupancy) {
  return magicAttacks(magicBishop[square], occupancy);
}
inline u64 queenAttacks(unsigned square, u64 occupancy) {
  return rookAttacks(square, occupancy) | bishopAttacks(square, occupancy);
}

// Bit loops take the lowest set bit first.
inline unsigned firstSquare(u64 bb) { return (unsigned)__builtin_ctzll(bb); }
inline unsigned popCount(u64 bb) { return (unsigned)__builtin_popcountll(bb); }
inline unsigned popFirstSquare(u64& bb) {
  unsigned s = firstSquare(bb);
  bb &= bb - 1;
  return s;
}
