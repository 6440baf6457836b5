// Transposition table: one always-replace entry per slot, indexed by the
// low bits of the position key.
#pragma once

#include <cstdint>

#include "engine/types.h"

// Value of findNode when the probe gives no cut-off.
const int HASH_MISS = 123456;

// Bound types of a stored score.
enum { HASH_EXACT = 0, HASH_UPPER = 1, HASH_LOWER = 2 };

// Table sizes a request is held to, in megabytes.
const int HASH_MIN_MB = 2;
const int HASH_MAX_MB = 2048;

struct HashTableNode {
  u64 key;
  ChessMove move;
  u32 data;  // bound type bits 0-1, depth in eighths bits 2-11, score bits 16-31
};

// Packs a stored result. The score goes in as its 16-bit two's complement
// pattern, so negative scores need no signed shift.
inline u32 packHashData(int depth, int type, int score) {
  return (((u32)depth & 1023u) << 2) | ((u32)type & 3u) | ((u32)(uint16_t)score << 16);
}
inline int hashDataType(u32 data) { return (int)(data & 3u); }
inline unsigned hashDataDepth(u32 data) { return (data >> 2) & 1023u; }
inline int hashDataScore(u32 data) { return (int)(int16_t)(uint16_t)(data >> 16); }

class HashTable {
public:
  HashTableNode* table;
  u32 size;
  u32 modulo;
  u32 searchCounter;
  // No entry has been written since the array came zeroed from the system
  // or was last cleared: clearing it again has nothing to do. A large
  // table is then ready without a pass over all its memory.
  bool zeroed;

  HashTable();
  ~HashTable();
  HashTable(const HashTable&) = delete;
  HashTable& operator=(const HashTable&) = delete;

  // Allocates a cleared table for a request in megabytes, held to 2..2048
  // and rounded up to a power of two. When memory is short the size is
  // halved until the allocation succeeds; the result is 1 when the rounded
  // request was met, 0 when a smaller table had to be taken.
  int init(unsigned int sizeMB);
  void clear();
  void free();

  // Probe: the stored move (0 when the slot holds another position) and a
  // cut-off value, or HASH_MISS.
  int findNode(u64 key, int depth, int alpha, int beta, ChessMove& move) {
    const HashTableNode& node = table[key & modulo];
    if (node.key != key) {
      move = 0;
      return HASH_MISS;
    }
    move = node.move;
    const u32 data = node.data;
    if ((unsigned)depth > hashDataDepth(data)) return HASH_MISS;
    const int score = hashDataScore(data);
    switch (hashDataType(data)) {
      case HASH_EXACT: return score;
      case HASH_UPPER:
        if (score <= alpha) return alpha;
        break;
      case HASH_LOWER:
        if (score >= beta) return beta;
        break;
    }
    return HASH_MISS;
  }

  // Store: always overwrites the slot.
  void addNode(u64 key, ChessMove move, int depth, int type, int score) {
    HashTableNode& node = table[key & modulo];
    node.key = key;
    node.move = move;
    node.data = packHashData(depth, type, score);
    zeroed = false;
  }
};

// Evaluation cache of the same shape as the transposition table; the engine
// does not create one.
struct ChessEvalHashNode {
  u64 key;
  int16_t score;
};

class ChessEvalHashTable {
public:
  ChessEvalHashNode* table;
  u32 size;
  u32 mask;

  ChessEvalHashTable();
  ~ChessEvalHashTable();
  ChessEvalHashTable(const ChessEvalHashTable&) = delete;
  ChessEvalHashTable& operator=(const ChessEvalHashTable&) = delete;

  int init(unsigned int sizeMB);
  void clear();
  void free();
  // 0 and the stored score when the slot holds the key, else HASH_MISS.
  int findNode(u64 key, short* score);
  void addNode(u64 key, short score);
};
