// Board tables built at start-up: the magic attack tables against the ray
// walkers, the geometry tables, the constant piece tables, the piece-square
// tables; and the profiler's timing table.
#include <gtest/gtest.h>

#include <sys/time.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engine/bitboard.h"
#include "engine/log.h"
#include "engine/pst.h"

namespace {

// Square number of a coordinate such as "e4".
unsigned sq(const char* name) { return (unsigned)(name[0] - 'a') + 8u * (unsigned)(name[1] - '1'); }

u64 bits(std::initializer_list<const char*> names) {
  u64 set = 0;
  for (const char* n : names) set |= 1ULL << sq(n);
  return set;
}

class BoardTables : public ::testing::Test {
protected:
  static void SetUpTestSuite() { initBitBoards(); }
};

// Every occupancy subset of a mask, by the carry-rippler walk.
std::vector<u64> subsets(u64 mask) {
  std::vector<u64> all;
  u64 o = 0;
  do {
    all.push_back(o);
    o = (o - mask) & mask;
  } while (o);
  return all;
}

}  // namespace

TEST_F(BoardTables, SliderLookupsEqualRayWalksForEverySubsetOfEveryMask) {
  for (unsigned s = 0; s < 64; s++) {
    // The mask is the empty-board ray set without the edge squares, and the
    // shift leaves exactly one index bit per mask bit.
    EXPECT_EQ(64u - popCount(magicRookMask[s]), magicRookShift[s]) << s;
    EXPECT_EQ(64u - popCount(magicBishopMask[s]), magicBishopShift[s]) << s;
    EXPECT_EQ(magicRookMask[s] & ~RookAttack((int)s, 0), 0u) << s;
    EXPECT_EQ(magicBishopMask[s] & ~BishopAttack((int)s, 0), 0u) << s;
    for (u64 o : subsets(magicRookMask[s])) {
      ASSERT_EQ(rookAttacks(s, o), RookAttack((int)s, o)) << "rook on " << s << " occ " << o;
      // Occupancy outside the mask never changes the set.
      ASSERT_EQ(rookAttacks(s, o | ~magicRookMask[s]), RookAttack((int)s, o | ~magicRookMask[s]));
    }
    for (u64 o : subsets(magicBishopMask[s])) {
      ASSERT_EQ(bishopAttacks(s, o), BishopAttack((int)s, o)) << "bishop on " << s << " occ " << o;
      ASSERT_EQ(bishopAttacks(s, o | ~magicBishopMask[s]),
                BishopAttack((int)s, o | ~magicBishopMask[s]));
    }
  }
}

TEST_F(BoardTables, SlicesFillTheTablesWithoutGaps) {
  // Corners 4096 entries, other edge squares 2048, inner squares 1024.
  EXPECT_EQ(magicRookShift[sq("a1")], 52u);
  EXPECT_EQ(magicRookShift[sq("d1")], 53u);
  EXPECT_EQ(magicRookShift[sq("e4")], 54u);
  EXPECT_EQ(magicBishopShift[sq("h8")], 58u);
  EXPECT_EQ(magicBishopShift[sq("d4")], 55u);
  EXPECT_EQ(magicBishopShift[sq("c6")], 57u);
  EXPECT_EQ(magicBishopShift[sq("b2")], 59u);
  u64 rookEntries = 0, bishopEntries = 0;
  for (unsigned s = 0; s < 64; s++) {
    EXPECT_EQ(magicRookIndex[s], magicTableRook + rookEntries);
    EXPECT_EQ(magicBishopIndex[s], magicTableBishop + bishopEntries);
    rookEntries += 1ULL << (64 - magicRookShift[s]);
    bishopEntries += 1ULL << (64 - magicBishopShift[s]);
  }
  EXPECT_EQ(rookEntries, 102400u);
  EXPECT_EQ(bishopEntries, 5248u);
}

TEST_F(BoardTables, SliderExamples) {
  EXPECT_EQ(rookAttacks(sq("a1"), 0), (bbFile[0] | bbRank[0]) & ~bits({"a1"}));
  EXPECT_EQ(popCount(rookAttacks(sq("a1"), 0)), 14u);
  // A piece on a4 of either colour ends the file ray there.
  EXPECT_EQ(rookAttacks(sq("a1"), bits({"a4"})),
            bits({"a2", "a3", "a4", "b1", "c1", "d1", "e1", "f1", "g1", "h1"}));
  EXPECT_EQ(popCount(bishopAttacks(sq("d4"), 0)), 13u);
  EXPECT_EQ(popCount(queenAttacks(sq("d4"), 0)), 27u);
  EXPECT_EQ(bishopAttacks(sq("c1"), bits({"e3", "b2"})), bits({"b2", "d2", "e3"}));
}

TEST_F(BoardTables, GeometryTables) {
  for (unsigned s = 0; s < 64; s++) {
    EXPECT_EQ(bbMask[s], 1ULL << s);
    EXPECT_EQ(bbClear[s], ~(1ULL << s));
  }
  EXPECT_EQ(bbDiag45R[sq("a1")], bits({"b2", "c3", "d4", "e5", "f6", "g7", "h8"}));
  EXPECT_EQ(bbDiag45L[sq("a1")], 0u);
  EXPECT_EQ(bbDiag45L[sq("h1")], bits({"g2", "f3", "e4", "d5", "c6", "b7", "a8"}));
  EXPECT_EQ(bbDiag45R[sq("e4")], bits({"b1", "c2", "d3", "f5", "g6", "h7"}));

  EXPECT_EQ(direction[sq("a1")][sq("h8")], 3);
  EXPECT_EQ(direction[sq("a8")][sq("h1")], 4);
  EXPECT_EQ(direction[sq("e2")][sq("e7")], 1);
  EXPECT_EQ(direction[sq("a5")][sq("h5")], 2);
  EXPECT_EQ(direction[sq("a1")][sq("b3")], 0);
  for (unsigned a = 0; a < 64; a++) {
    EXPECT_EQ(direction[a][a], 0);
    for (unsigned b = 0; b < 64; b++) ASSERT_EQ(direction[a][b], direction[b][a]);
  }

  EXPECT_EQ(bbPawnAttack[WHITE][sq("a2")], bits({"b3"}));
  EXPECT_EQ(bbPawnAttack[WHITE][sq("e4")], bits({"d5", "f5"}));
  EXPECT_EQ(bbPawnAttack[BLACK][sq("e4")], bits({"d3", "f3"}));
  EXPECT_EQ(bbPawnAttack[BLACK][sq("h7")], bits({"g6"}));
  for (unsigned f = 0; f < 8; f++) {
    EXPECT_EQ(bbPawnAttack[WHITE][56 + f], 0u);
    EXPECT_EQ(bbPawnAttack[BLACK][f], 0u);
  }
  EXPECT_EQ(bbKnightAttack[sq("a1")], bits({"b3", "c2"}));
  EXPECT_EQ(popCount(bbKnightAttack[sq("d4")]), 8u);
  EXPECT_EQ(bbKnightAttack[sq("h8")], bits({"g6", "f7"}));
  EXPECT_EQ(bbKingAttack[sq("a1")], bits({"a2", "b1", "b2"}));
  EXPECT_EQ(popCount(bbKingAttack[sq("e4")]), 8u);
}

TEST_F(BoardTables, RebuildingLeavesEveryTableUnchanged) {
  std::vector<u64> rook(magicTableRook, magicTableRook + 102400);
  std::vector<u64> bishop(magicTableBishop, magicTableBishop + 5248);
  u64 knights[64], diagonals[64];
  u8 relation[64][64];
  memcpy(knights, bbKnightAttack, sizeof knights);
  memcpy(diagonals, bbDiag45L, sizeof diagonals);
  memcpy(relation, direction, sizeof relation);
  initBitBoards();
  EXPECT_TRUE(std::equal(rook.begin(), rook.end(), magicTableRook));
  EXPECT_TRUE(std::equal(bishop.begin(), bishop.end(), magicTableBishop));
  EXPECT_EQ(memcmp(knights, bbKnightAttack, sizeof knights), 0);
  EXPECT_EQ(memcmp(diagonals, bbDiag45L, sizeof diagonals), 0);
  EXPECT_EQ(memcmp(relation, direction, sizeof relation), 0);
}

TEST(PieceTables, GamePhaseOfSummedWeights) {
  EXPECT_EQ(gamePhaseOf(24), 0);   // start position
  EXPECT_EQ(gamePhaseOf(0), 3);
  EXPECT_EQ(gamePhaseOf(1), 2);
  EXPECT_EQ(gamePhaseOf(8), 2);
  EXPECT_EQ(gamePhaseOf(9), 1);
  EXPECT_EQ(gamePhaseOf(20), 1);
  EXPECT_EQ(gamePhaseOf(21), 0);
  EXPECT_EQ(gamePhaseOf(31), 0);
  // Promoted pieces can push the sum past the table: still the opening.
  EXPECT_EQ(gamePhaseOf(32), 0);
  EXPECT_EQ(gamePhaseOf(80), 0);
  EXPECT_EQ(EnPassantOffset[WHITE], -8);
  EXPECT_EQ(EnPassantOffset[BLACK], 8);
  EXPECT_STREQ(pieceName, "0pnbrqk");
}

TEST(PieceSquareTables, BlackHalfMirrorsWhiteHalf) {
  for (unsigned t = 0; t < 7; t++)
    for (unsigned s = 0; s < 64; s++) {
      ASSERT_EQ(piece_square_table_middlegame[BLACK][t][s],
                piece_square_table_middlegame[WHITE][t][s ^ 56]);
      ASSERT_EQ(piece_square_table_endgame[BLACK][t][s],
                piece_square_table_endgame[WHITE][t][s ^ 56]);
    }
  for (unsigned s = 0; s < 64; s++) {
    EXPECT_EQ(piece_square_table_middlegame[WHITE][NOPIECE][s], 0);
    EXPECT_EQ(piece_square_table_endgame[WHITE][PAWN][s], 0);
    EXPECT_EQ(piece_square_table_endgame[WHITE][ROOK][s], 0);
    EXPECT_EQ(piece_square_table_endgame[WHITE][KNIGHT][s],
              piece_square_table_endgame[WHITE][BISHOP][s]);
  }
}

TEST(PieceSquareTables, Entries) {
  EXPECT_EQ(piece_square_table_middlegame[WHITE][KNIGHT][sq("f3")], 8);
  EXPECT_EQ(piece_square_table_middlegame[BLACK][KNIGHT][sq("f6")], 8);
  EXPECT_EQ(piece_square_table_endgame[WHITE][KNIGHT][sq("f3")], 2);
  EXPECT_EQ(piece_square_table_middlegame[WHITE][PAWN][sq("e2")], -10);
  EXPECT_EQ(piece_square_table_middlegame[WHITE][PAWN][sq("d4")], 12);
  EXPECT_EQ(piece_square_table_middlegame[WHITE][PAWN][sq("d5")], 0);
  EXPECT_EQ(piece_square_table_middlegame[WHITE][BISHOP][sq("b2")], 8);
  EXPECT_EQ(piece_square_table_middlegame[WHITE][ROOK][sq("d5")], 0);
  EXPECT_EQ(piece_square_table_middlegame[WHITE][ROOK][sq("a8")], -4);
  EXPECT_EQ(piece_square_table_middlegame[WHITE][QUEEN][sq("d1")], -10);
  EXPECT_EQ(piece_square_table_middlegame[WHITE][QUEEN][sq("d2")], 0);
  EXPECT_EQ(piece_square_table_middlegame[WHITE][KING][sq("g1")], 32);
  EXPECT_EQ(piece_square_table_middlegame[WHITE][KING][sq("e2")], -32);
  EXPECT_EQ(piece_square_table_endgame[WHITE][QUEEN][sq("d5")], 24);
  EXPECT_EQ(piece_square_table_endgame[WHITE][KING][sq("a1")], -50);
  EXPECT_EQ(piece_square_table_endgame[WHITE][KING][sq("e4")], 32);
  EXPECT_EQ(piece_square_table_endgame[BLACK][KING][sq("e5")], 32);
}

TEST(Profiler, DumpWithoutEntriesPrintsTheHeaderOnly) {
  EXPECT_EQ(gProfiler.count, 0);
  gProfiler.stop("perft");   // no entry of that name: nothing happens
  EXPECT_EQ(gProfiler.count, 0);
  testing::internal::CaptureStdout();
  gProfiler.dump();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Name, Count, Total Time, Average Time, Min, Max\n");
}

TEST(Profiler, StopKeepsCountTotalAndExtremes) {
  Profiler profiler;
  ASSERT_NE(profiler.entries, nullptr);
  ProfilerEntry& e = profiler.entries[0];
  memset(&e, 0, sizeof e);
  strcpy(e.name, "perft");
  profiler.count = 1;
  // Three stretches of 2, 5 and 1 seconds: each starts that long ago.
  const int64_t lengths[3] = {2, 5, 1};
  for (int64_t seconds : lengths) {
    timeval now;
    gettimeofday(&now, nullptr);
    e.start = {now.tv_sec - seconds, now.tv_usec};
    e.running = 1;
    profiler.stop("perft");
    EXPECT_EQ(e.running, 0);
  }
  auto us = [](const ProfilerTime& t) { return t.sec * 1000000 + t.usec; };
  EXPECT_EQ(e.count, 3);
  EXPECT_GE(us(e.min), 1000000);
  EXPECT_LT(us(e.min), 2000000);
  EXPECT_GE(us(e.max), 5000000);
  EXPECT_LT(us(e.max), 6000000);
  EXPECT_GE(us(e.total), 8000000);
  EXPECT_LT(us(e.total), 9000000);
  profiler.stop("search");   // another name: nothing happens
  EXPECT_EQ(e.count, 3);
  testing::internal::CaptureStdout();
  profiler.dump();
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.rfind("Name, Count, Total Time, Average Time, Min, Max\n", 0), 0u);
  EXPECT_NE(out.find("                           perft                3 "), std::string::npos) << out;
}
