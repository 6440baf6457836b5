// Transposition table: one always-replace entry per slot, indexed by the
// low bits of the position key.
#pragma once

#include "engine/types.h"

// Value of findNode when the probe gives no cut-off.
const int HASH_MISS = 123456;

// Bound types of a stored score.
enum { HASH_EXACT = 0, HASH_UPPER = 1, HASH_LOWER = 2 };

struct HashTableNode {
  u64 key;
  ChessMove move;
  u32 data;   // bound type bits 0-1, depth in eighths bits 2-11, score bits 16-31
};

class HashTable {
public:
  HashTableNode* table;
  u32 size;
  u32 modulo;
  u32 searchCounter;

  HashTable();
  ~HashTable();
  int init(unsigned int sizeMB);
  void clear();
  void free();
  int findNode(u64 key, int depth, int alpha, int beta, ChessMove& move);
  void addNode(u64 key, ChessMove move, int depth, int type, int score);
};
