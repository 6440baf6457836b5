// Transposition table: sizing of every request, the packed entry word, the
// probe rules, and the evaluation cache.
#include <gtest/gtest.h>

#include <memory>

#include "engine/hashtable.h"

namespace {

bool isPowerOfTwo(u32 n) { return n && !(n & (n - 1)); }

const int MISS = HASH_MISS;

}  // namespace

TEST(HashTable, SizesAreRoundedPowersOfTwo) {
  std::unique_ptr<HashTable> t(new HashTable());
  EXPECT_EQ(t->table, nullptr);
  EXPECT_EQ(t->size, 0u);
  EXPECT_EQ(t->init(32), 1);
  EXPECT_EQ(t->size, 2097152u);
  EXPECT_EQ(t->modulo, 2097151u);
  EXPECT_EQ(t->init(3), 1);
  EXPECT_EQ(t->size, 262144u);   // 4 MB
  EXPECT_EQ(t->init(100), 1);
  EXPECT_EQ(t->size, 128u * 65536u);
  EXPECT_EQ(t->init(2), 1);
  EXPECT_EQ(t->size, 131072u);
}

TEST(HashTable, EveryRequestGivesATable) {
  std::unique_ptr<HashTable> t(new HashTable());
  // Below the range (0, 1, and values that are negative as signed numbers)
  // give the smallest table.
  for (unsigned request : {0u, 1u, 0xFFFFFFFFu, 0x80000000u, 0xFFFFF000u}) {
    EXPECT_EQ(t->init(request), 1) << request;
    ASSERT_NE(t->table, nullptr);
    EXPECT_EQ(t->size, 131072u) << request;
    EXPECT_EQ(t->modulo, t->size - 1);
  }
#ifndef QUARVEL_SANITIZE
  // Above the range: at most 2048 MB; a build that cannot get that much
  // memory halves until the table fits and says so with 0.
  for (unsigned request : {2049u, 4096u, 1000000u}) {
    int result = t->init(request);
    ASSERT_NE(t->table, nullptr);
    EXPECT_TRUE(isPowerOfTwo(t->size));
    EXPECT_LE(t->size, 134217728u);
    EXPECT_EQ(result == 1, t->size == 134217728u);
    t->free();
  }
#endif
  t->free();
  EXPECT_EQ(t->table, nullptr);
}

TEST(HashTable, PackedWordKeepsDepthTypeAndSignedScore) {
  for (int score : {0, 1, -1, 500, -300, 32000, -32000, 32767, -32768}) {
    u32 data = packHashData(24, HASH_LOWER, score);
    EXPECT_EQ(hashDataScore(data), score);
    EXPECT_EQ(hashDataDepth(data), 24u);
    EXPECT_EQ(hashDataType(data), HASH_LOWER);
    EXPECT_EQ(data & 0xF000u, 0u);   // bits 12-15 stay zero
  }
  EXPECT_EQ(packHashData(1023, HASH_UPPER, -1), 0xFFFF0FFDu);
  EXPECT_EQ(packHashData(8, HASH_EXACT, 3), (3u << 16) | (8u << 2));
}

TEST(HashTable, ProbeRules) {
  std::unique_ptr<HashTable> t(new HashTable());
  ASSERT_EQ(t->init(2), 1);
  ChessMove move = 77;
  const u64 key = 0x123456789ABCDEF0ULL;

  // An empty table misses every non-zero key and gives no move.
  EXPECT_EQ(t->findNode(key, 8, -20, 20, move), MISS);
  EXPECT_EQ(move, 0u);

  // A result stored at depth 24 answers probes at depth 8 to 24 and yields
  // only its move to a deeper probe.
  t->addNode(key, 1234, 24, HASH_EXACT, 500);
  for (int depth : {8, 16, 24}) {
    move = 0;
    EXPECT_EQ(t->findNode(key, depth, -20, 20, move), 500) << depth;   // outside the window
    EXPECT_EQ(move, 1234u);
  }
  move = 0;
  EXPECT_EQ(t->findNode(key, 32, -20, 20, move), MISS);
  EXPECT_EQ(move, 1234u);
  // A negative depth is a huge unsigned depth: a miss.
  EXPECT_EQ(t->findNode(key, -8, -20, 20, move), MISS);

  // Bounds cut only on their side of the window, at the window's edge.
  t->addNode(key, 1, 16, HASH_UPPER, -300);
  EXPECT_EQ(t->findNode(key, 16, -20, 20, move), -20);
  t->addNode(key, 1, 16, HASH_UPPER, 10);
  EXPECT_EQ(t->findNode(key, 16, -20, 20, move), MISS);
  t->addNode(key, 1, 16, HASH_LOWER, 300);
  EXPECT_EQ(t->findNode(key, 16, -20, 20, move), 20);
  t->addNode(key, 1, 16, HASH_LOWER, 10);
  EXPECT_EQ(t->findNode(key, 16, -20, 20, move), MISS);
  t->addNode(key, 1, 16, HASH_EXACT, -32000);
  EXPECT_EQ(t->findNode(key, 16, -20, 20, move), -32000);

  // A key sharing the slot replaces the entry, even a deeper one, and the
  // old position then misses.
  const u64 other = key + ((u64)t->size << 3);
  ASSERT_EQ(other & t->modulo, key & t->modulo);
  t->addNode(key, 5, 400, HASH_EXACT, 1);
  t->addNode(other, 6, 8, HASH_EXACT, 2);
  EXPECT_EQ(t->findNode(key, 8, -20, 20, move), MISS);
  EXPECT_EQ(move, 0u);
  EXPECT_EQ(t->findNode(other, 8, -20, 20, move), 2);
  EXPECT_EQ(move, 6u);

  // clear empties every slot.
  t->searchCounter = 5;
  t->clear();
  EXPECT_EQ(t->searchCounter, 0u);
  EXPECT_EQ(t->findNode(other, 8, -20, 20, move), MISS);
  EXPECT_EQ(move, 0u);
}

TEST(EvalHashTable, StoresScoresByKey) {
  std::unique_ptr<ChessEvalHashTable> t(new ChessEvalHashTable());
  short score = 99;
  EXPECT_EQ(t->findNode(5, &score), MISS);   // no table yet
  t->addNode(5, 1);
  EXPECT_EQ(t->init(2), 1);
  EXPECT_EQ(t->size, (u32)((2u << 20) / sizeof(ChessEvalHashNode)));
  EXPECT_EQ(t->mask, t->size - 1);
  EXPECT_EQ(t->findNode(5, &score), MISS);
  t->addNode(5, -250);
  EXPECT_EQ(t->findNode(5, &score), 0);
  EXPECT_EQ(score, -250);
  EXPECT_EQ(t->findNode(6, &score), MISS);
  t->clear();
  EXPECT_EQ(t->findNode(5, &score), MISS);
  t->free();
  EXPECT_EQ(t->table, nullptr);
}
