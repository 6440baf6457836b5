// Transposition table: sizing of every request, the packed entry word, the
// probe rules, and the evaluation cache.
#include <gtest/gtest.h>

#include <memory>

#include "engine/hashtable.h"

TEST(HashTable, EveryRequestGivesAPowerOfTwoTable) {
  std::unique_ptr<HashTable> t(new HashTable());
  // Megabytes asked -> entries of 16 bytes: rounded up, held to 2..2048 MB
  // as a signed number (so huge unsigned requests are below the range).
  const unsigned cases[][2] = {{32, 2097152},         {3, 262144},          {100, 8388608},
                               {2, 131072},           {0, 131072},          {1, 131072},
                               {0xFFFFFFFFu, 131072}, {0x80000000u, 131072}};
  for (const auto& c : cases) {
    EXPECT_EQ(t->init(c[0]), 1) << c[0];
    EXPECT_EQ(t->size, c[1]) << c[0];
    EXPECT_EQ(t->modulo, t->size - 1);
  }
#ifndef QUARVEL_SANITIZE
  // Above the range: at most 2048 MB; a build that cannot get that much
  // memory halves until the table fits and says so with 0.
  for (unsigned request : {2049u, 1000000u}) {
    const int result = t->init(request);
    ASSERT_NE(t->table, nullptr);
    EXPECT_EQ(t->size & (t->size - 1), 0u);
    EXPECT_LE(t->size, 134217728u);
    EXPECT_EQ(result == 1, t->size == 134217728u);
  }
#endif
  t->free();
  EXPECT_EQ(t->table, nullptr);
}

TEST(HashTable, PackedWordKeepsDepthTypeAndSignedScore) {
  for (int score : {0, 1, -1, -300, 32000, -32000, 32767, -32768}) {
    const u32 data = packHashData(24, HASH_LOWER, score);
    EXPECT_EQ(hashDataScore(data), score);
    EXPECT_EQ(hashDataDepth(data), 24u);
    EXPECT_EQ(hashDataType(data), HASH_LOWER);
  }
  EXPECT_EQ(packHashData(1023, HASH_UPPER, -1), 0xFFFF0FFDu);  // bits 12-15 stay zero
}

TEST(HashTable, ProbeRules) {
  std::unique_ptr<HashTable> t(new HashTable());
  ASSERT_EQ(t->init(2), 1);
  const u64 key = 0x123456789ABCDEF0ULL;
  ChessMove move = 77;
  EXPECT_EQ(t->findNode(key, 8, -20, 20, move), HASH_MISS);  // empty: no move either
  EXPECT_EQ(move, 0u);

  // Stored at depth 24: answers probes up to depth 24, gives only its move
  // deeper; a negative depth is a huge unsigned depth.
  t->addNode(key, 1234, 24, HASH_EXACT, 500);
  for (int depth : {8, 24, 32, -8}) {
    move = 0;
    EXPECT_EQ(t->findNode(key, depth, -20, 20, move), depth == 8 || depth == 24 ? 500 : HASH_MISS);
    EXPECT_EQ(move, 1234u);
  }
  // Bounds cut only on their side of the window, at the window's edge: a
  // bound scored on the edge cuts, one just inside it does not.
  const struct {
    int type, score, result;
  } bounds[] = {
      {HASH_UPPER, -300, -20},     {HASH_UPPER, -20, -20},      {HASH_UPPER, -19, HASH_MISS},
      {HASH_UPPER, 10, HASH_MISS}, {HASH_LOWER, 300, 20},       {HASH_LOWER, 20, 20},
      {HASH_LOWER, 19, HASH_MISS}, {HASH_LOWER, 10, HASH_MISS}, {HASH_EXACT, -32000, -32000},
  };
  for (const auto& b : bounds) {
    t->addNode(key, 1, 16, b.type, b.score);
    EXPECT_EQ(t->findNode(key, 16, -20, 20, move), b.result) << b.type << " " << b.score;
  }
  // A key sharing the slot replaces even a deeper entry; clear empties all.
  const u64 other = key + ((u64)t->size << 3);
  t->addNode(key, 5, 400, HASH_EXACT, 1);
  t->addNode(other, 6, 8, HASH_EXACT, 2);
  EXPECT_EQ(t->findNode(key, 8, -20, 20, move), HASH_MISS);
  EXPECT_EQ(t->findNode(other, 8, -20, 20, move), 2);
  t->searchCounter = 5;
  t->clear();
  EXPECT_EQ(t->searchCounter, 0u);
  EXPECT_EQ(t->findNode(other, 8, -20, 20, move), HASH_MISS);
}

TEST(HashTable, LargeTableClearedWithFreshMemory) {
  std::unique_ptr<HashTable> t(new HashTable());
  ASSERT_EQ(t->init(128), 1);
  ChessMove move = 1;
  for (int round = 0; round < 2; round++) {  // written, cleared, written again
    t->addNode(42, 7, 8, HASH_EXACT, 3);
    EXPECT_EQ(t->findNode(42, 8, -20, 20, move), 3);
    t->clear();
    EXPECT_EQ(t->findNode(42, 8, -20, 20, move), HASH_MISS);
    EXPECT_EQ(move, 0u);
  }
}

TEST(EvalHashTable, StoresScoresByKey) {
  std::unique_ptr<ChessEvalHashTable> t(new ChessEvalHashTable());
  short score = 99;
  EXPECT_EQ(t->findNode(5, &score), HASH_MISS);  // no table yet: no fault either
  t->addNode(5, 1);
  EXPECT_EQ(t->init(2), 1);
  EXPECT_EQ(t->mask, t->size - 1);
  EXPECT_EQ(t->findNode(5, &score), HASH_MISS);
  t->addNode(5, -250);
  EXPECT_EQ(t->findNode(5, &score), 0);
  EXPECT_EQ(score, -250);
  EXPECT_EQ(t->findNode(6, &score), HASH_MISS);
  t->clear();
  EXPECT_EQ(t->findNode(5, &score), HASH_MISS);
  t->free();
  EXPECT_EQ(t->table, nullptr);
}
