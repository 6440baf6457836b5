// Perft against published figures: the start position, Kiwipete and the
// other standard test positions with all seven statistics where they are
// published, and positions built to catch en-passant, castling and
// promotion faults. Counts above five million leaves run in the Deep test.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/perft.h"
#include "tests/support/test_board.h"

namespace {

const u64 NA = ~0ULL;  // a statistic that is not published
const u64 QUICK_LIMIT = 5000000;

struct Figures {
  const char* fen;
  int depth;
  u64 stats[7];  // nodes, captures, e.p., checks, mates, promotions, castles
};

const char* const START = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
const char* const KIWIPETE = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";
const char* const POS3 = "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1";
const char* const POS4 = "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1";
const char* const POS4_MIRROR = "r2q1rk1/pP1p2pp/Q4n2/bbp1p3/Np6/1B3NBn/pPPP1PPP/R3K2R b KQ - 0 1";
const char* const POS5 = "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8";
const char* const POS6 = "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10";

const Figures PUBLISHED[] = {
    {START, 1, {20, 0, 0, 0, 0, 0, 0}},
    {START, 2, {400, 0, 0, 0, 0, 0, 0}},
    {START, 3, {8902, 34, 0, 12, 0, 0, 0}},
    {START, 4, {197281, 1576, 0, 469, 8, 0, 0}},
    {START, 5, {4865609, 82719, 258, 27351, 347, 0, 0}},
    {START, 6, {119060324, 2812008, 5248, 809099, 10828, 0, 0}},
    {KIWIPETE, 1, {48, 8, 0, 0, 0, 0, 2}},
    {KIWIPETE, 2, {2039, 351, 1, 3, 0, 0, 91}},
    {KIWIPETE, 3, {97862, 17102, 45, 993, 1, 0, 3162}},
    {KIWIPETE, 4, {4085603, 757163, 1929, 25523, 43, 15172, 128013}},
    {KIWIPETE, 5, {193690690, 35043416, 73365, 3309887, 30171, 8392, 4993637}},
    {POS3, 1, {14, 1, 0, 2, 0, 0, 0}},
    {POS3, 2, {191, 14, 0, 10, 0, 0, 0}},
    {POS3, 3, {2812, 209, 2, 267, 0, 0, 0}},
    {POS3, 4, {43238, 3348, 123, 1680, 17, 0, 0}},
    {POS3, 5, {674624, 52051, 1165, 52950, 0, 0, 0}},
    {POS3, 6, {11030083, 940350, 33325, 452473, 2733, 7552, 0}},
    {POS3, 7, {178633661, 14519036, 294874, 12797406, 87, 140024, 0}},
    {POS4, 1, {6, 0, 0, 0, 0, 0, 0}},
    {POS4, 2, {264, 87, 0, 10, 0, 48, 6}},
    {POS4, 3, {9467, 1021, 4, 38, 22, 120, 0}},
    {POS4, 4, {422333, 131393, 0, 15492, 5, 60032, 7795}},
    {POS4, 5, {15833292, 2046173, 6512, 200568, 50562, 329464, 0}},
    {POS4_MIRROR, 2, {264, 87, 0, 10, 0, 48, 6}},
    {POS4_MIRROR, 4, {422333, 131393, 0, 15492, 5, 60032, 7795}},
    {POS5, 3, {62379, NA, NA, NA, NA, NA, NA}},
    {POS5, 4, {2103487, NA, NA, NA, NA, NA, NA}},
    {POS5, 5, {89941194, NA, NA, NA, NA, NA, NA}},
    {POS6, 3, {89890, NA, NA, NA, NA, NA, NA}},
    {POS6, 4, {3894594, NA, NA, NA, NA, NA, NA}},
    {POS6, 5, {164075551, NA, NA, NA, NA, NA, NA}},
    // White: Kb6, Qg1; Black: Ka8. Qa1+, Qh1+ and Qg2+ check, Qg8 mates,
    // Qg3 and Qh2 stalemate: a mate counts as a check too, a stalemate not.
    {"k7/8/1K6/8/8/8/8/6Q1 w - - 0 1", 1, {25, 0, 0, 4, 1, 0, 0}},
};

// En passant that exposes the king or gives check, castling that gives
// check or is prevented, promotions out of and into check, stalemate and
// mate at the leaves.
const struct {
  const char* fen;
  int depth;
  u64 nodes;
} TRICKY[] = {
    {"3k4/3p4/8/K1P4r/8/8/8/8 b - - 0 1", 6, 1134888},
    {"8/8/4k3/8/2p5/8/B2P2K1/8 w - - 0 1", 6, 1015133},
    {"8/8/1k6/2b5/2pP4/8/5K2/8 b - d3 0 1", 6, 1440467},
    {"5k2/8/8/8/8/8/8/4K2R w K - 0 1", 6, 661072},
    {"3k4/8/8/8/8/8/8/R3K3 w Q - 0 1", 6, 803711},
    {"r3k2r/1b4bq/8/8/8/8/7B/R3K2R w KQkq - 0 1", 4, 1274206},
    {"r3k2r/8/3Q4/8/8/5q2/8/R3K2R b KQkq - 0 1", 4, 1720476},
    {"2K2r2/4P3/8/8/8/8/8/3k4 w - - 0 1", 6, 3821001},
    {"8/8/1P2K3/8/2n5/1q6/8/5k2 b - - 0 1", 5, 1004658},
    {"4k3/1P6/8/8/8/8/K7/8 w - - 0 1", 6, 217342},
    {"8/P1k5/K7/8/8/8/8/8 w - - 0 1", 6, 92683},
    {"K1k5/8/P7/8/8/8/8/8 w - - 0 1", 6, 2217},
    {"8/k1P5/8/1K6/8/8/8/8 w - - 0 1", 7, 567584},
    {"8/8/2k5/5q2/5n2/8/5K2/8 b - - 0 1", 4, 23527},
};

void check(const Figures& f) {
  auto board = boardAt(f.fen);
  clearPerftCounters();
  board->perft(f.depth, 0);
  const u64 got[7] = {countnode, countcapture,   countep,    countcheck,
                      countmate, countpromotion, countcastle};
  for (int i = 0; i < 7; i++) {
    if (f.stats[i] == NA) continue;
    EXPECT_EQ(got[i], f.stats[i]) << f.fen << " depth " << f.depth << " column " << i;
  }
}

std::vector<Figures> rows(bool deep) {
  std::vector<Figures> selected;
  for (const Figures& f : PUBLISHED)
    if ((f.stats[0] > QUICK_LIMIT) == deep) selected.push_back(f);
  return selected;
}

}  // namespace

TEST(Perft, PublishedFigures) {
  for (const Figures& f : rows(false)) check(f);
}

TEST(Perft, TrickyPositions) {
  for (const auto& t : TRICKY) {
    auto board = boardAt(t.fen);
    EXPECT_EQ(board->searchAllMoves(&board->currentNode, t.depth, 0), t.nodes) << t.fen;
  }
}

// One test per deep count, so that they run in parallel.
class PerftDeep : public ::testing::TestWithParam<size_t> {};
TEST_P(PerftDeep, PublishedFigures) { check(rows(true)[GetParam()]); }
INSTANTIATE_TEST_SUITE_P(Perft, PerftDeep, ::testing::Range<size_t>(0, rows(true).size()));

TEST(Perft, DepthsOutsideTheRangeAndNoLegalMove) {
  auto board = newTestBoard();
  for (int depth : {0, -1, 65, 1000}) {
    clearPerftCounters();
    board->perft(depth, 0);
    EXPECT_EQ(countnode, 0u) << depth;
  }
  EXPECT_EQ(board->searchAllMoves(&board->currentNode, 0, 0), 1u);
  EXPECT_EQ(board->searchAllMoves(&board->currentNode, -3, 0), 1u);
  EXPECT_EQ(board->searchAllMoves(&board->currentNode, 65, 0), 0u);
  EXPECT_EQ(board->currentNode.undoCount, 0u);
  // Fool's mate: White is mated.
  board = boardAt("rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3");
  EXPECT_EQ(board->searchAllMoves(&board->currentNode, 3, 0), 0u);
}

TEST(Perft, DoPerftFillsTheTableFromTheLastRow) {
  auto board = newTestBoard();
  memset(perftNode, 0xff, sizeof(perftNode));
  board->doPerft(3);
  EXPECT_EQ(perftNode[3][PERFT_NODES], 20u);
  EXPECT_EQ(perftNode[2][PERFT_NODES], 400u);
  EXPECT_EQ(perftNode[1][PERFT_NODES], 8902u);
  EXPECT_EQ(perftNode[1][PERFT_CAPTURES], 34u);
  EXPECT_EQ(perftNode[1][PERFT_CHECKS], 12u);
  EXPECT_EQ(perftNode[0][PERFT_NODES], 0u);  // row 0 is never written
  EXPECT_EQ(perftNode[4][PERFT_NODES], 0u);  // the first 16 rows are cleared
}

TEST(Perft, TestHashKeyReportsAWrongKey) {
  auto board = newTestBoard();
  ASSERT_TRUE(playMoves(*board, {"e2e4"}));
  EXPECT_EQ(board->testHashKey(1, 1), 1);
  board->currentNode.hashKey ^= 1;
  EXPECT_EQ(board->testHashKey(1, 1), 0);
  EXPECT_EQ(board->testHashKey(1, 5000), 0);  // more plies than the stack holds
}
