// The perft suite of the shared test data: 127 positions with their
// published counts to depth 6. The quick test counts every position to the
// depths of at most 300,000 leaves; the deep tests (one per position, so
// they run in parallel) count the remaining depths up to a billion leaves.
// Beyond that stands only Kiwipete at depth 6 (8.0 billion leaves, minutes
// on one core); Kiwipete is counted to depth 5 with all statistics in
// test_perft.cpp.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/support/test_board.h"
#include "tests/support/test_paths.h"

namespace {

struct SuitePosition {
  std::string fen;
  std::vector<u64> counts;   // counts[d - 1] for depth d
};

std::vector<SuitePosition> loadSuite() {
  std::vector<SuitePosition> suite;
  std::ifstream in(testsupport::dataPath("perftsuite.epd"));
  std::string line;
  while (std::getline(in, line)) {
    size_t semi = line.find(';');
    if (semi == std::string::npos) continue;
    SuitePosition p;
    p.fen = line.substr(0, semi);
    while (!p.fen.empty() && p.fen.back() == ' ') p.fen.pop_back();
    size_t pos = semi;
    while (pos != std::string::npos) {
      size_t next = line.find(';', pos + 1);
      std::string field = line.substr(pos + 1, next == std::string::npos ? std::string::npos
                                                                           : next - pos - 1);
      size_t blank = field.find(' ');
      if (blank != std::string::npos) p.counts.push_back(std::stoull(field.substr(blank + 1)));
      pos = next;
    }
    suite.push_back(p);
  }
  return suite;
}

const u64 QUICK_LIMIT = 300000;
const u64 DEEP_LIMIT = 1000000000;

void checkDepths(const SuitePosition& p, bool deep) {
  auto board = newTestBoard();
  std::string fen = p.fen;
  ASSERT_EQ(board->setFENPosition(&fen[0]), 1) << p.fen;
  for (size_t d = 1; d <= p.counts.size(); d++) {
    bool quick = p.counts[d - 1] <= QUICK_LIMIT;
    if (quick == deep || p.counts[d - 1] > DEEP_LIMIT) continue;
    EXPECT_EQ(board->searchAllMoves(&board->currentNode, (int)d, 0), p.counts[d - 1])
        << p.fen << " depth " << d;
  }
}

}  // namespace

TEST(PerftSuite, AllPositionsShallow) {
  QUARVEL_REQUIRE_DATA("perftsuite.epd");
  std::vector<SuitePosition> suite = loadSuite();
  ASSERT_EQ(suite.size(), 127u);
  for (const SuitePosition& p : suite) checkDepths(p, false);
}

class PerftSuiteDeep : public ::testing::TestWithParam<int> {};

TEST_P(PerftSuiteDeep, RemainingDepths) {
  QUARVEL_REQUIRE_DATA("perftsuite.epd");
  static const std::vector<SuitePosition> suite = loadSuite();
  if ((size_t)GetParam() >= suite.size()) GTEST_SKIP() << "no such position";
  checkDepths(suite[GetParam()], true);
}

INSTANTIATE_TEST_SUITE_P(PerftSuite, PerftSuiteDeep, ::testing::Range(0, 127));
