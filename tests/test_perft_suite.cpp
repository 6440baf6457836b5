// The perft suite of the shared test data: 127 positions with their
// published counts to depth 6 (";D1 20 ;D2 400 ..."). The quick test counts
// every position to the depths of at most 300,000 leaves; the deep tests
// (one per position, so that they run in parallel) count the remaining
// depths up to a billion leaves. Beyond that stands only Kiwipete at depth
// 6, which test_perft.cpp counts to depth 5 with all statistics. Under the
// emulator the deep tests stop at 50 million leaves, but each counts at
// least its first deep depth.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/slowdown.h"
#include "tests/support/test_board.h"
#include "tests/support/test_paths.h"

namespace {

struct SuitePosition {
  std::string fen;
  std::vector<u64> counts;  // counts[d - 1] for depth d
};

std::vector<SuitePosition> loadSuite() {
  std::vector<SuitePosition> suite;
  std::ifstream in(testsupport::dataPath("perftsuite.epd"));
  std::string line, field;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    SuitePosition p;
    if (!std::getline(fields, p.fen, ';')) continue;
    while (std::getline(fields, field, ';'))
      p.counts.push_back(std::stoull(field.substr(field.find(' ') + 1)));
    if (!p.counts.empty()) suite.push_back(p);
  }
  return suite;
}

const u64 SHALLOW_LIMIT = 300000;
const u64 DEEP_LIMIT = testsupport::kEmulated ? 50000000 : 1000000000;

void checkDepths(const SuitePosition& p, bool deep) {
  auto board = boardAt(p.fen.c_str());
  bool counted = false;
  for (size_t d = 1; d <= p.counts.size(); d++) {
    const u64 leaves = p.counts[d - 1];
    if ((leaves > SHALLOW_LIMIT) != deep) continue;
    if (deep && counted && leaves > DEEP_LIMIT) continue;
    counted = true;
    EXPECT_EQ(board->searchAllMoves(&board->currentNode, (int)d, 0), p.counts[d - 1])
        << p.fen << " depth " << d;
  }
}

// Over two plies: a move that needsLegalityTest clears is legal, and a legal
// move that mayGiveCheck clears leaves the enemy king unattacked, as the
// full attack tests find; keyAfter gives the key that makeMove leaves for
// every move of the short path. Counts the moves each filter clears.
void checkSearchFilters(ChessBoardNode& node, int depth, u64& legalCleared, u64& checkCleared,
                        u64& keysChecked) {
  ChessMoveSort list[PLY_LIST_SIZE];
  unsigned n = 0;
  const int inCheck = node.inCheck();
  node.generateMoves(list, &n, inCheck);
  for (unsigned i = 0; i < n; i++) {
    const ChessMove m = list[i].move;
    const bool needsTest = node.needsLegalityTest(m, inCheck), mayCheck = node.mayGiveCheck(m);
    const u64 keyAfter = node.keyAfter(m);
    const int legal = node.makeMove(m);
    if (!(m.move & ChessBoardNode::SPECIAL_MOVE)) {
      keysChecked++;
      EXPECT_EQ(node.hashKey, keyAfter) << coord(m);
    }
    if (!needsTest) {
      legalCleared++;
      EXPECT_EQ(legal, 1) << coord(m);
    }
    if (legal && !mayCheck) {
      checkCleared++;
      EXPECT_EQ(node.inCheck(), 0) << coord(m);
    }
    if (legal && depth > 1)
      checkSearchFilters(node, depth - 1, legalCleared, checkCleared, keysChecked);
    node.unMakeMove(m);
  }
}

}  // namespace

TEST(PerftSuite, SearchFiltersAndKeysAgreeWithMakeMove) {
  QUARVEL_REQUIRE_DATA("perftsuite.epd");
  u64 legalCleared = 0, checkCleared = 0, keysChecked = 0;
  for (const SuitePosition& p : loadSuite()) {
    SCOPED_TRACE(p.fen);
    auto board = boardAt(p.fen.c_str());
    checkSearchFilters(board->currentNode, 2, legalCleared, checkCleared, keysChecked);
  }
  EXPECT_GT(legalCleared, 10000u);
  EXPECT_GT(checkCleared, 10000u);
  EXPECT_GT(keysChecked, 10000u);
}

TEST(PerftSuite, AllPositionsShallow) {
  QUARVEL_REQUIRE_DATA("perftsuite.epd");
  const std::vector<SuitePosition> suite = loadSuite();
  ASSERT_EQ(suite.size(), 127u);
  for (const SuitePosition& p : suite) checkDepths(p, false);
}

class PerftSuiteDeep : public ::testing::TestWithParam<int> {};

TEST_P(PerftSuiteDeep, RemainingDepths) {
  QUARVEL_REQUIRE_DATA("perftsuite.epd");
  static const std::vector<SuitePosition> suite = loadSuite();
  ASSERT_LT((size_t)GetParam(), suite.size()) << "the suite is short of positions";
  checkDepths(suite[GetParam()], true);
}

INSTANTIATE_TEST_SUITE_P(PerftSuite, PerftSuiteDeep, ::testing::Range(0, 127));
