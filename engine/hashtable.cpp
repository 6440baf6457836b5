// Allocation and clearing of the transposition table and the evaluation
// cache; the probe and store are inline in the header.
#include "engine/hashtable.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/mman.h>

#include "engine/hugepage.h"
#include "engine/log.h"

namespace {

// The table is mapped straight from the kernel, on a 2 MB boundary when it
// is that large (every table size is a multiple of 2 MB), and offered for
// huge pages: the probes of a search land all over the table. Fresh pages
// read as zero and are only backed by memory once written, so a large table
// costs nothing until the search fills it.
// But the kernel zeroes a huge page, 2 MB, at its first write, and the
// first probes of a search scatter over the whole table: a large table in
// huge pages would be zeroed almost whole within the first think's first
// milliseconds (a second for 2 GB), leaving that think too little time on
// a short clock. Only tables up to this size are offered for huge pages.
const size_t HUGE_PAGE_TABLE_MAX = (size_t)32 << 20;

size_t tableBytes(u32 entries) { return (size_t)entries * sizeof(HashTableNode); }

// A zeroed array of `entries` table entries, or null.
HashTableNode* mapEntries(u32 entries) {
  const size_t bytes = tableBytes(entries);
  // The size must stay representable (a 32-bit build asking for 2 GB).
  if (bytes / sizeof(HashTableNode) != entries || bytes > SIZE_MAX - HUGE_PAGE_BYTES)
    return nullptr;
  const size_t alignment = bytes >= HUGE_PAGE_BYTES ? HUGE_PAGE_BYTES : 1;
  const size_t reserved = bytes + (alignment > 1 ? alignment : 0);
  void* block = mmap(nullptr, reserved, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (block == MAP_FAILED) return nullptr;
  if (alignment == 1) return (HashTableNode*)block;
  // Keep the aligned part of the reservation, give back the rest.
  const uintptr_t start = (uintptr_t)block;
  const uintptr_t aligned = (start + alignment - 1) & ~(uintptr_t)(alignment - 1);
  if (aligned > start) munmap(block, aligned - start);
  const uintptr_t tail = aligned + bytes, end = start + reserved;
  if (end > tail) munmap((void*)tail, end - tail);
  if (bytes <= HUGE_PAGE_TABLE_MAX) {
    adviseHugePages((void*)aligned, bytes);
    // Such a table is backed at once, a write of zero per huge page, so
    // that the system zeroes its pages here rather than in the first
    // search's first probes.
    for (size_t offset = 0; offset < bytes; offset += HUGE_PAGE_BYTES)
      static_cast<volatile char*>((void*)aligned)[offset] = 0;
  }
  return (HashTableNode*)aligned;
}

}  // namespace

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
// the system can provide it, and entries is set to the count taken.
static HashTableNode* allocateZeroed(u32& entries) {
  HashTableNode* array = nullptr;
  while ((array = mapEntries(entries)) == nullptr) {
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
      munmap(table, tableBytes(size));
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
  if (table) munmap(table, tableBytes(size));
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
