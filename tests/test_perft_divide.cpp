// Divide: the perft count split by the first move, one entry per legal
// first move in generation order.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "engine/perft.h"
#include "tests/support/test_board.h"

namespace {

std::vector<std::pair<std::string, u64>> entries() {
  std::vector<std::pair<std::string, u64>> out;
  for (u32 i = 0; i < nbDivide; i++) out.emplace_back(listDivide[i].text, listDivide[i].count);
  return out;
}

u64 divideSum() {
  u64 sum = 0;
  for (u32 i = 0; i < nbDivide; i++) sum += listDivide[i].count;
  return sum;
}

}  // namespace

TEST(Divide, StartPositionDepth3MatchesThePublishedSplit) {
  auto board = newTestBoard();
  board->divide(&board->currentNode, 3, 0);
  // Generation order: knights, then single pushes, then double pushes.
  const std::vector<std::pair<std::string, u64>> published = {
      {"Nb1-a3", 400}, {"Nb1-c3", 440}, {"Ng1-f3", 440}, {"Ng1-h3", 400}, {"a2-a3", 380},
      {"b2-b3", 420},  {"c2-c3", 420},  {"d2-d3", 539},  {"e2-e3", 599},  {"f2-f3", 380},
      {"g2-g3", 420},  {"h2-h3", 380},  {"a2-a4", 420},  {"b2-b4", 421},  {"c2-c4", 441},
      {"d2-d4", 560},  {"e2-e4", 600},  {"f2-f4", 401},  {"g2-g4", 421},  {"h2-h4", 420}};
  EXPECT_EQ(entries(), published);
}

TEST(Divide, SumsEqualPerftCountsAndLeaveThePosition) {
  for (const char* fen : {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
                          "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
                          "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
                          "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8"}) {
    SCOPED_TRACE(fen);
    auto board = boardAt(fen);
    const NodeFields before(board->currentNode);
    for (int depth = 1; depth <= 3; depth++) {
      board->divide(&board->currentNode, depth, 0);
      EXPECT_EQ(divideSum(), board->searchAllMoves(&board->currentNode, depth, 0)) << depth;
      EXPECT_EQ(nbDivide, (u32)board->countLegalMoves());
    }
    board->currentNode.nodeState = before.nodeState;
    EXPECT_EQ(differences(before, NodeFields(board->currentNode)), "");
  }
}

TEST(Divide, OnlyLegalFirstMovesAndNothingOutsideTheDepthRange) {
  // A pinned knight has pseudo-legal moves that are not legal: they get no
  // entry, and no stale entry of the earlier divide shows through.
  auto board = newTestBoard();
  board->divide(&board->currentNode, 2, 0);
  ASSERT_EQ(nbDivide, 20u);
  board = boardAt("4k3/4r3/8/8/8/8/4N3/4K3 w - - 0 1");
  board->divide(&board->currentNode, 1, 0);
  const std::vector<std::pair<std::string, u64>> kingMoves = {
      {"Ke1-d1", 1}, {"Ke1-f1", 1}, {"Ke1-d2", 1}, {"Ke1-f2", 1}};
  EXPECT_EQ(entries(), kingMoves);
  for (int depth : {0, -1, 65, 99999}) {
    board->divide(&board->currentNode, 2, 0);
    board->divide(&board->currentNode, depth, 0);
    EXPECT_EQ(nbDivide, 0u) << depth;
  }
  for (int depth : {-1, 64}) {
    board->divide(&board->currentNode, 2, 0);
    EXPECT_EQ(board->doDivide(depth), 1);
    EXPECT_EQ(nbDivide, 0u) << depth;
  }
}

TEST(Divide, DoDivideSplitsOneDepthMore) {
  auto board = boardAt("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1");
  board->divide(&board->currentNode, 3, 0);
  const auto expected = entries();
  EXPECT_EQ(board->doDivide(2), 1);
  EXPECT_EQ(entries(), expected);
  EXPECT_EQ(divideSum(), 97862u);
  EXPECT_EQ(board->doDivide(0), 1);  // depth 0 splits the depth-1 count
  EXPECT_EQ(nbDivide, 48u);
  EXPECT_EQ(divideSum(), 48u);
}
