// Board tables built at start-up (the magic lookups against the ray walkers,
// rebuilt without change), the game phase, the piece-square tables' colour
// mirror, and the profiler's timing table.
#include <gtest/gtest.h>

#include <sys/time.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engine/bitboard.h"
#include "engine/log.h"
#include "engine/pst.h"

TEST(BoardTables, SliderLookupsEqualRayWalksForEverySubsetOfEveryMask) {
  initBitBoards();
  for (unsigned s = 0; s < 64; s++) {
    for (int rook = 0; rook < 2; rook++) {
      const u64 mask = rook ? magicRookMask[s] : magicBishopMask[s];
      // One index bit per mask bit; the mask lies inside the empty-board set.
      EXPECT_EQ(64u - popCount(mask), rook ? magicRookShift[s] : magicBishopShift[s]) << s;
      EXPECT_EQ(mask & ~(rook ? RookAttack((int)s, 0) : BishopAttack((int)s, 0)), 0u) << s;
      u64 o = 0;
      do {                                // every occupancy subset, by the carry-rippler walk
        for (u64 occ : {o, o | ~mask}) {  // bits outside the mask change nothing
          ASSERT_EQ(rook ? rookAttacks(s, occ) : bishopAttacks(s, occ),
                    rook ? RookAttack((int)s, occ) : BishopAttack((int)s, occ))
              << (rook ? "rook" : "bishop") << " on " << s << " occ " << occ;
        }
        o = (o - mask) & mask;
      } while (o);
    }
  }
  for (unsigned a = 0; a < 64; a++)
    for (unsigned b = 0; b < 64; b++) ASSERT_EQ(direction[a][b], direction[b][a]);
  EXPECT_EQ(popCount(queenAttacks(27, 0)), 27u);  // d4 on an empty board
}

// The line of a direction through a square holds exactly the squares that
// stand in that direction from it (and on a file or rank the square itself).
TEST(BoardTables, LinesHoldTheSquaresOfTheirDirection) {
  initBitBoards();
  for (unsigned a = 0; a < 64; a++) {
    EXPECT_EQ(lineThrough(a, 0), 0u) << a;
    for (unsigned d = 1; d <= 4; d++) {
      u64 inDirection = 0;
      for (unsigned b = 0; b < 64; b++)
        if (direction[a][b] == d) inDirection |= 1ULL << b;
      const u64 self = d <= 2 ? 1ULL << a : 0;
      EXPECT_EQ(lineThrough(a, d), inDirection | self) << a << " direction " << d;
    }
  }
}

TEST(BoardTables, RebuildingLeavesEveryTableUnchanged) {
  initBitBoards();
  const std::vector<u64> rook(magicTableRook, magicTableRook + 102400);
  const std::vector<u8> relation(&direction[0][0], &direction[0][0] + 64 * 64);
  initBitBoards();
  EXPECT_TRUE(std::equal(rook.begin(), rook.end(), magicTableRook));
  EXPECT_TRUE(std::equal(relation.begin(), relation.end(), &direction[0][0]));
}

TEST(PieceTables, GamePhaseAndMirroredPieceSquareTables) {
  // Summed phase weights: 24 at the start; promotions can pass 31 and the
  // table: still the opening.
  const int phase[][2] = {{0, 3},  {1, 2},  {8, 2},  {9, 1}, {20, 1},
                          {21, 0}, {31, 0}, {32, 0}, {80, 0}};
  for (const auto& p : phase) EXPECT_EQ(gamePhaseOf(p[0]), p[1]) << p[0];
  for (unsigned t = 0; t < 7; t++)
    for (unsigned s = 0; s < 64; s++) {
      ASSERT_EQ(piece_square_table_middlegame[BLACK][t][s],
                piece_square_table_middlegame[WHITE][t][s ^ 56]);
      ASSERT_EQ(piece_square_table_endgame[BLACK][t][s],
                piece_square_table_endgame[WHITE][t][s ^ 56]);
    }
}

TEST(Profiler, StopKeepsCountTotalAndExtremes) {
  Profiler profiler;
  ProfilerEntry& e = profiler.entries[0];
  memset(&e, 0, sizeof e);
  strcpy(e.name, "perft");
  profiler.count = 1;
  for (int64_t seconds : {2, 5, 1}) {  // stretches that started that long ago
    timeval now;
    gettimeofday(&now, nullptr);
    e.start = {now.tv_sec - seconds, now.tv_usec};
    e.running = 1;
    profiler.stop("perft");
  }
  profiler.stop("search");  // no entry of that name: nothing happens
  EXPECT_EQ(e.count, 3);
  EXPECT_EQ(e.running, 0);
  EXPECT_EQ((e.min.sec * 1000000 + e.min.usec) / 1000000, 1);
  EXPECT_EQ((e.max.sec * 1000000 + e.max.usec) / 1000000, 5);
  EXPECT_EQ((e.total.sec * 1000000 + e.total.usec) / 1000000, 8);
  testing::internal::CaptureStdout();
  profiler.dump();
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.rfind("Name, Count, Total Time, Average Time, Min, Max\n", 0), 0u);
  EXPECT_NE(out.find("                           perft                3 "), std::string::npos)
      << out;
}
