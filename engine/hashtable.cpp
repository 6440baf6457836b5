// Allocation and clearing of the transposition table and the evaluation
// cache; the probe and store are inline in the header.
#include "engine/hashtable.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/log.h"

// A size request is read as a signed number and held to 2..2048 MB, so that
// every request (0, negative, huge) gives a table.
static int clampMegabytes(unsigned int sizeMB) {
  int mb = (int)sizeMB;
  if (mb < HASH_MIN_MB) return HASH_MIN_MB;
  if (mb > HASH_MAX_MB) return HASH_MAX_MB;
  return mb;
}

// Tables from this size up (megabytes) are cleared with fresh memory.
static const int FRESH_CLEAR_MB = 128;

// A zeroed array of entries; when memory is short the count is halved until
// the system can provide it, and entries is set to the count taken. Fresh
// memory from the system is already zero, so calloc does not touch it.
static HashTableNode* allocateZeroed(u32& entries) {
  HashTableNode* array = nullptr;
  while ((array = (HashTableNode*)calloc(entries, sizeof(HashTableNode))) == nullptr) {
    Log::print(17, "HashTable : out of memory");
    if (entries == 1) exitOutOfMemory();
    entries /= 2;
  }
  return array;
}

HashTable::HashTable() : table(nullptr), size(0), modulo(0), searchCounter(0), zeroed(false) {}

HashTable::~HashTable() { free(); }

int HashTable::init(unsigned int sizeMB) {
  // 1-2.
  Log::print("Init HashTable : %d Mo", sizeMB);
  free();
  searchCounter = 0;

  // 3. Smallest power of two not below the (held) request.
  int request = clampMegabytes(sizeMB);
  int megabytes = 0;
  for (int p = 1; p <= 1024 && p < request;) {
    p *= 2;
    if (request <= p) megabytes = p;
  }
  Log::print("allocated size = %d", megabytes);

  // 5. 65536 entries of 16 bytes per megabyte.
  u32 entries = (u32)megabytes << 20 >> 4;

  // 6-7. A cleared array; when memory is short, halve until it fits.
  const u32 requested = entries;
  table = allocateZeroed(entries);
  const int result = entries == requested ? 1 : 0;
  zeroed = true;
  size = entries;
  modulo = size - 1;
  Log::print("size   = %d", size);
  Log::print("modulo = %d", modulo);
  return result;
}

void HashTable::clear() {
  searchCounter = 0;
  // A table of FRESH_CLEAR_MB or more is given back and taken again fresh
  // from the system, already zero, rather than written over: that pass
  // would bring in at once all the memory that the search never touched.
  // A smaller table is written over, so that the searches that follow do
  // not wait for the system to hand out its memory again.
  if (table && !zeroed) {
    if (size >= (u32)FRESH_CLEAR_MB << 20 >> 4) {
      ::free(table);
      u32 entries = size;
      table = allocateZeroed(entries);
      size = entries;
      modulo = size - 1;
    } else {
      memset((void*)table, 0, (size_t)size * sizeof(HashTableNode));
    }
  }
  zeroed = true;
}

void HashTable::free() {
  ::free(table);
  table = nullptr;
}

ChessEvalHashTable::ChessEvalHashTable() : table(nullptr), size(0), mask(0) {}

ChessEvalHashTable::~ChessEvalHashTable() { free(); }

int ChessEvalHashTable::init(unsigned int sizeMB) {
  Log::print("Init Eval HashTable : %d Mo", sizeMB);
  free();
  size = (u32)(((u64)clampMegabytes(sizeMB) << 20) / sizeof(ChessEvalHashNode));
  mask = size - 1;
  Log::print("size   = %d", size);
  Log::print("modulo = %d", mask);
  table = (ChessEvalHashNode*)calloc(size, sizeof(ChessEvalHashNode));
  if (!table) {
    Log::print(17, "Eval HashTable : out of memory");
    size = 0;
    mask = 0;
    return 0;
  }
  return 1;
}

void ChessEvalHashTable::clear() {
  if (table) memset(table, 0, (size_t)size * sizeof(ChessEvalHashNode));
}

void ChessEvalHashTable::free() {
  ::free(table);
  table = nullptr;
  size = 0;
  mask = 0;
}

int ChessEvalHashTable::findNode(u64 key, short* score) {
  if (!table) return HASH_MISS;
  const ChessEvalHashNode& node = table[key & mask];
  if (node.key != key) return HASH_MISS;
  *score = node.score;
  return 0;
}

void ChessEvalHashTable::addNode(u64 key, short score) {
  if (!table) return;
  ChessEvalHashNode& node = table[key & mask];
  node.key = key;
  node.score = score;
}
