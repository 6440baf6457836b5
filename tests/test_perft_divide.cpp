// Divide: the perft count split by the first move, one entry per legal
// first move in generation order.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "engine/perft.h"
#include "tests/support/test_board.h"

namespace {

std::unique_ptr<TestBoard> boardAt(const char* fen) {
  auto board = newTestBoard();
  std::string text(fen);
  EXPECT_EQ(board->setFENPosition(&text[0]), 1) << fen;
  return board;
}

u64 divideSum() {
  u64 sum = 0;
  for (u32 i = 0; i < nbDivide; i++) sum += listDivide[i].count;
  return sum;
}

u64 perftNodes(TestBoard& board, int depth) {
  clearPerftCounters();
  board.perft(depth, 0);
  return countnode;
}

}  // namespace

TEST(Divide, StartPositionDepth3MatchesThePublishedSplit) {
  auto board = newTestBoard();
  board->divide(&board->currentNode, 3, 0);
  ASSERT_EQ(nbDivide, 20u);
  // Generation order: knights, then single pushes, then double pushes.
  EXPECT_STREQ(listDivide[0].text, "Nb1-a3");
  EXPECT_STREQ(listDivide[3].text, "Ng1-h3");
  EXPECT_STREQ(listDivide[4].text, "a2-a3");
  EXPECT_STREQ(listDivide[19].text, "h2-h4");
  std::map<std::string, u64> published = {
      {"a2-a3", 380}, {"b2-b3", 420}, {"c2-c3", 420}, {"d2-d3", 539}, {"e2-e3", 599},
      {"f2-f3", 380}, {"g2-g3", 420}, {"h2-h3", 380}, {"a2-a4", 420}, {"b2-b4", 421},
      {"c2-c4", 441}, {"d2-d4", 560}, {"e2-e4", 600}, {"f2-f4", 401}, {"g2-g4", 421},
      {"h2-h4", 420}, {"Nb1-a3", 400}, {"Nb1-c3", 440}, {"Ng1-f3", 440}, {"Ng1-h3", 400}};
  for (u32 i = 0; i < nbDivide; i++) {
    ASSERT_TRUE(published.count(listDivide[i].text)) << listDivide[i].text;
    EXPECT_EQ(listDivide[i].count, published[listDivide[i].text]) << listDivide[i].text;
  }
  EXPECT_EQ(divideSum(), 8902u);
}

TEST(Divide, SumsEqualPerftCounts) {
  const char* fens[] = {
      "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
      "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
      "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
      "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
  };
  for (const char* fen : fens) {
    SCOPED_TRACE(fen);
    auto board = boardAt(fen);
    for (int depth = 1; depth <= 3; depth++) {
      board->divide(&board->currentNode, depth, 0);
      EXPECT_EQ(divideSum(), perftNodes(*board, depth)) << "depth " << depth;
      EXPECT_EQ(nbDivide, (u32)board->countLegalMoves());
    }
  }
}

// A pinned knight has pseudo-legal moves that are not legal: they get no
// entry, and no stale entry of an earlier divide shows through.
TEST(Divide, ListsOnlyLegalFirstMoves) {
  auto board = newTestBoard();
  board->divide(&board->currentNode, 2, 0);   // 20 entries to overwrite
  ASSERT_EQ(nbDivide, 20u);
  board = boardAt("4k3/4r3/8/8/8/8/4N3/4K3 w - - 0 1");
  board->divide(&board->currentNode, 1, 0);
  ASSERT_EQ(nbDivide, 4u);
  for (u32 i = 0; i < nbDivide; i++) {
    EXPECT_EQ(listDivide[i].text[0], 'K') << listDivide[i].text;
    EXPECT_EQ(listDivide[i].count, 1u);
  }
  EXPECT_EQ(divideSum(), perftNodes(*board, 1));
}

TEST(Divide, DepthsOutsideTheRangeGiveAnEmptyList) {
  auto board = newTestBoard();
  for (int depth : {0, -1, 65, 99999}) {
    board->divide(&board->currentNode, 2, 0);
    board->divide(&board->currentNode, depth, 0);
    EXPECT_EQ(nbDivide, 0u) << depth;
  }
  board->divide(&board->currentNode, 2, 0);
  EXPECT_EQ(board->doDivide(-1), 1);
  EXPECT_EQ(nbDivide, 0u);
  EXPECT_EQ(board->doDivide(64), 1);
  EXPECT_EQ(nbDivide, 0u);
}

TEST(Divide, DoDivideSplitsOneDepthMore) {
  auto board = boardAt("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1");
  board->divide(&board->currentNode, 3, 0);
  std::map<std::string, u64> expected;
  for (u32 i = 0; i < nbDivide; i++) expected[listDivide[i].text] = listDivide[i].count;
  u32 entries = nbDivide;

  EXPECT_EQ(board->doDivide(2), 1);
  ASSERT_EQ(nbDivide, entries);
  for (u32 i = 0; i < nbDivide; i++) EXPECT_EQ(listDivide[i].count, expected[listDivide[i].text]);
  EXPECT_EQ(divideSum(), 97862u);

  EXPECT_EQ(board->doDivide(0), 1);   // depth 0 splits the depth-1 count
  EXPECT_EQ(nbDivide, 48u);
  EXPECT_EQ(divideSum(), 48u);
}

TEST(Divide, LeavesThePositionAsItWas) {
  auto board = boardAt("r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1");
  u64 key = board->currentNode.hashKey;
  u32 undo = board->currentNode.undoCount;
  board->divide(&board->currentNode, 3, 0);
  EXPECT_EQ(board->currentNode.hashKey, key);
  EXPECT_EQ(board->currentNode.undoCount, undo);
  EXPECT_EQ(board->currentNode.hashHistoryCount, 0u);
}
