// Perft and divide results: the statistics of the last count and the
// first-move split of the last divide, read by the reports that print them
// and by the perft suite.
#pragma once

#include "engine/types.h"

// Among the legal moves made at the last ply of a perft: all of them, the
// captures (en passant included), en-passant captures, promotions, castles,
// moves that give check, and checks that mate. perft() only adds to them:
// callers zero them before each depth.
extern u64 countnode;
extern u64 countcapture;
extern u64 countep;
extern u64 countpromotion;
extern u64 countcastle;
extern u64 countcheck;
extern u64 countmate;

// Deepest depth a perft table holds (row D + 1 - d for depth d of a run to D).
const int MAX_PERFT_DEPTH = 63;
// Deepest divide (the per-ply lists run from 0 to 64).
const int MAX_DIVIDE_DEPTH = 64;

// Columns of a perft-table row.
enum {
  PERFT_NODES = 0,
  PERFT_CAPTURES = 1,
  PERFT_EP = 2,
  PERFT_CHECKS = 3,
  PERFT_MATES = 4,
  PERFT_PROMOTIONS = 6,
  PERFT_CASTLES = 7
};
extern u64 perftNode[64][8];

// Zeroes the seven statistics.
void clearPerftCounters();
// Stores the seven statistics into a row of perftNode.
void storePerftRow(int row);

// One first move of a divide: its long algebraic text and its leaf count.
struct DivideEntry {
  u64 count;
  char text[ALGEBRAIC_TEXT_SIZE];
};
const unsigned MAX_DIVIDE_ENTRIES = 256;
extern DivideEntry listDivide[MAX_DIVIDE_ENTRIES];
// Entries of the last divide: its legal first moves.
extern u32 nbDivide;
