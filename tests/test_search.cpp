// The alpha-beta search below the root, driven directly: mate suites, draws,
// determinism, what a stopped search leaves behind, and the search-time
// check with its input poll.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/input.h"
#include "engine/search.h"
#include "tests/support/slowdown.h"
#include "tests/support/test_board.h"
#include "tests/support/test_paths.h"

namespace {

const char* MIDDLEGAME = "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP2BPPP/R1BQK2R w KQ - 0 8";

// Readies the game position to be searched from ply 0, as a think does:
// fresh ordering tables, no stop, no limit, and the root's node record.
void prepareSearch(ChessBoard& board) {
  board.clearKillerMoves();
  board.stopSearch = STOP_NONE;
  board.ponderSearch = 0;
  board.searchMode = MODE_DEPTH;
  board.restartPollCount();
  countNodes = 0;
  ChessBoardNode& node = board.currentNode;
  node.undoStack[node.undoCount].inCheck = (u8)node.inCheck();
  node.undoStack[node.undoCount].nodeType = PV_NODE;
}

// Iterative deepening over alpha-beta at ply 0 with the full window; the
// score of the deepest finished iteration.
int searchTo(ChessBoard& board, int plies) {
  prepareSearch(board);
  int score = 0;
  for (int depth = 1; depth <= plies && !board.stopSearch; ++depth) {
    const int s = board.alphabeta(depth * ONE_PLY, -MATE_SCORE, MATE_SCORE, 0, 0);
    if (!board.stopSearch) score = s;
  }
  return score;
}

// Whether the line is legal move by move and leaves the side to move mated.
bool lineMates(ChessBoardNode& node, const PLine& line) {
  if (legalPrefix(node, line) != line.count) return false;
  for (u32 i = 0; i < line.count; i++) node.makeMove(line.moves[i].move);
  const bool mated = node.inCheck() && legalMoves(node).empty();
  for (u32 i = line.count; i > 0; i--) node.unMakeMove(line.moves[i - 1].move);
  return mated;
}

// Everything a search leaves for the rest of a think: the transposition
// table, the killers, mate killers and history, as bytes.
std::string orderingState(const ChessBoard& board) {
  const HashTable& t = board.currentNode.hashTable;
  std::string s((const char*)t.table, t.size * sizeof(HashTableNode));
  s.append((const char*)board.killer1, sizeof board.killer1);
  s.append((const char*)board.killer2, sizeof board.killer2);
  s.append((const char*)board.mateKiller, sizeof board.mateKiller);
  return s.append((const char*)board.historyTable, sizeof board.historyTable);
}

// Standard input replaced by a pipe for the length of a test, so that the
// input poll of the search sees what the test writes.
class StdinPipe {
public:
  explicit StdinPipe(const char* text) {
    EXPECT_EQ(pipe(fds), 0);
    saved = dup(STDIN_FILENO);
    dup2(fds[0], STDIN_FILENO);
    standardInput().reset();
    EXPECT_GT(::write(fds[1], text, strlen(text)), 0);
  }
  ~StdinPipe() {
    dup2(saved, STDIN_FILENO);
    close(saved);
    close(fds[0]);
    close(fds[1]);
    standardInput().reset();
  }

private:
  int fds[2], saved;
};

// A front-end that reads the waiting line and stops the search on "stop"
// (when consumeLines), or stops it by itself once the node count reaches a
// value, keeping the ordering state of that moment.
class PollingBoard : public TestBoard {
public:
  int commands = 0;
  bool consumeLines = true;
  u64 stopAtNodes = 0;
  std::string atStop;

  int onParseInputCommand() override {
    ++commands;
    char line[64];
    if (consumeLines && readInputLine(line, sizeof line) >= 0 && strcmp(line, "stop") == 0)
      stopSearch = STOP_PLAY;
    if (stopAtNodes && countNodes >= stopAtNodes && atStop.empty()) {
      atStop = orderingState(*this);
      stopSearch = STOP_PLAY;
    }
    return 1;
  }
};

}  // namespace

TEST(MateValue, PliesToMoves) {
  TestBoard board;
  const int cases[][2] = {{31999, 1},   {31997, 2},     {-31998, 1},      {-32000, 0},
                          {31744, 128}, {31743, 31743}, {-31743, -31743}, {25, 25}};
  for (const auto& c : cases) EXPECT_EQ(board.calcMateValue(c[0]), c[1]) << c[0];
}

// Every position of the suites, searched after newGame two plies beyond the
// mate's length: a mate score at the suite's distance and a line that
// mates. The count of distances that differ is printed (and expected 0).
TEST(MateSuite, MatesAtTheSuitesDistances) {
  for (const auto& suite :
       {std::make_pair("mate_in_1.epd", 64), std::make_pair("mate_in_2.epd", 150),
        std::make_pair("mate_in_3.epd", 150)}) {
    QUARVEL_REQUIRE_DATA(suite.first);
    auto board = newTestBoard();
    std::ifstream in(testsupport::dataPath(suite.first));
    int positions = 0, mates = 0, distanceDiffers = 0;
    for (std::string line; std::getline(in, line);) {
      const size_t ce = line.find("ce +M");
      if (ce == std::string::npos) continue;
      std::istringstream fields(line);
      std::string field, fen;
      for (int i = 0; i < 4 && fields >> field; ++i) fen += field + " ";
      const int moves = atoi(line.c_str() + ce + 5);
      board->newGame();
      ASSERT_EQ(setFen(*board, fen + "0 1"), 1) << fen;
      const int score = searchTo(*board, 2 * moves + 1);
      const PLine& pv = board->currentNode.pvLines[0];
      ++positions;
      if (score <= MATE_THRESHOLD || !lineMates(board->currentNode, pv)) {
        ADD_FAILURE() << fen << ": no mate found, score " << score;
        continue;
      }
      ++mates;
      if (board->calcMateValue(score) != moves || (int)pv.count != 2 * moves - 1) {
        ++distanceDiffers;
        ADD_FAILURE() << fen << ": mate in " << moves << " reported as "
                      << board->calcMateValue(score);
      }
    }
    printf("[ suite    ] %s: %d positions, %d mates, %d at another distance\n", suite.first,
           positions, mates, distanceDiffers);
    EXPECT_EQ(positions, suite.second);
    EXPECT_EQ(mates, suite.second);
  }
}

TEST(Search, MateStalemateFiftyMovesAndRepetition) {
  auto board = boardAt("R5k1/5ppp/8/8/8/8/8/6K1 b - - 0 1");  // back-rank mate
  prepareSearch(*board);
  board->currentNode.undoStack[0].nodeType = CUT_NODE;
  EXPECT_EQ(board->alphabeta(2 * ONE_PLY, -MATE_SCORE, MATE_SCORE, 0, 3), 3 - MATE_SCORE);
  EXPECT_EQ(board->currentNode.nodeState, NODE_MATE);
  ASSERT_EQ(setFen(*board, "7k/5Q2/6K1/8/8/8/8/8 b - - 0 1"), 1);  // stalemate
  prepareSearch(*board);
  EXPECT_EQ(board->alphabeta(2 * ONE_PLY, -MATE_SCORE, MATE_SCORE, 0, 0), 0);
  EXPECT_EQ(board->currentNode.nodeState, NODE_STALEMATE);
  // A queen up, but the hundredth reversible ply has been played: a draw at
  // once, and a stale line does not survive.
  ASSERT_EQ(setFen(*board, "4k3/8/8/8/8/8/8/3QK3 w - - 100 80"), 1);
  prepareSearch(*board);
  board->currentNode.pvLines[0].count = 3;
  EXPECT_EQ(board->alphabeta(4 * ONE_PLY, -MATE_SCORE, MATE_SCORE, 0, 0), 0);
  EXPECT_EQ(board->currentNode.pvLines[0].count, 0u);
  EXPECT_EQ(countNodes, 1u);
  // The same position back after two moves of each side: a draw at once.
  ASSERT_EQ(setFen(*board, "4k3/8/8/8/8/8/8/3QK3 w - - 0 1"), 1);
  ASSERT_TRUE(playMoves(*board, {"d1b3", "e8f8", "b3d1", "f8e8"}));
  prepareSearch(*board);
  EXPECT_EQ(board->alphabeta(4 * ONE_PLY, -MATE_SCORE, MATE_SCORE, 0, 0), 0);
  EXPECT_EQ(countNodes, 1u);
}

TEST(Search, LosingSideTakesTheRepetition) {
  // Black, a queen up, shuffles; White's king has stepped from h1 to g1 and
  // can step back to repeat the position after Black's first move.
  auto board = boardAt("kq6/8/8/8/8/8/6PP/7K b - - 0 1");
  ASSERT_TRUE(playMoves(*board, {"b8c8", "h1g1", "c8b8"}));
  EXPECT_EQ(searchTo(*board, 5), 0);
  EXPECT_EQ(coord(board->currentNode.pvLines[0].moves[0].move), "g1h1");
}

TEST(Search, SameSearchTwiceGivesTheSameResult) {
  auto board = newTestBoard();
  std::string result[2];
  for (std::string& r : result) {
    board->newGame();
    ASSERT_EQ(setFen(*board, MIDDLEGAME), 1);
    const int score = searchTo(*board, 6);
    r = std::to_string(score) + " nodes " + std::to_string(countNodes) + " line";
    const PLine& pv = board->currentNode.pvLines[0];
    for (u32 i = 0; i < pv.count; i++) r += " " + coord(pv.moves[i].move);
  }
  EXPECT_EQ(result[0], result[1]);
  EXPECT_GT(result[0].size(), 30u);
}

// A stop in the middle of the search, by a command or by a node limit,
// leaves the table, killers and history exactly as they were when it came
// (after the last child search that finished), however deep in the tree.
TEST(Search, StopLeavesNothingBehind) {
  StdinPipe input("waiting\n");  // makes every poll tick call the front-end
  for (u64 stopAt : {300u, 2000u, 15000u, 60000u}) {
    auto byCommand = newBoard<PollingBoard>(MIDDLEGAME);
    byCommand->consumeLines = false;
    byCommand->stopAtNodes = stopAt;
    byCommand->pollPeriod = 1;
    searchTo(*byCommand, 12);
    ASSERT_FALSE(byCommand->atStop.empty()) << stopAt;
    EXPECT_TRUE(orderingState(*byCommand) == byCommand->atStop) << "command at " << stopAt;

    auto byLimit = boardAt(MIDDLEGAME);
    prepareSearch(*byLimit);
    byLimit->setEngineSearchMode(MODE_NODES, (int)stopAt, 0);
    for (int depth = 1; depth <= 12 && !byLimit->stopSearch; ++depth)
      byLimit->alphabeta(depth * ONE_PLY, -MATE_SCORE, MATE_SCORE, 0, 0);
    EXPECT_EQ(countNodes, stopAt);
    EXPECT_TRUE(orderingState(*byLimit) == byCommand->atStop) << "limit " << stopAt;
  }
  char line[64];
  EXPECT_EQ(readInputLine(line, sizeof line), 7);  // the line was never consumed
}

// "stop" arriving in the same read as the line before it is still seen by
// the running search: the poll looks into the reader's buffer first.
TEST(SearchTime, LineBufferedWithAnEarlierOneStopsTheSearch) {
  StdinPipe input("go infinite\nstop\n");
  auto board = newBoard<PollingBoard>(MIDDLEGAME);
  char line[64];
  ASSERT_EQ(readInputLine(line, sizeof line), 11);  // the command loop's read
  board->pollPeriod = 1000;
  searchTo(*board, 30);
  EXPECT_EQ(board->stopSearch, STOP_PLAY);
  EXPECT_EQ(board->commands, 1);
  EXPECT_LT(countNodes, 1000u);
}

TEST(SearchTime, PollTicksAndLimits) {
  StdinPipe input("waiting\n");
  auto board = newBoard<PollingBoard>();
  board->consumeLines = false;
  prepareSearch(*board);
  // With a period of 30000 the 30000th call polls.
  board->pollPeriod = 30000;
  for (int i = 1; i < 30000; ++i) ASSERT_EQ(board->checkSearchTime(), 1);
  EXPECT_EQ(board->commands, 0);
  EXPECT_EQ(board->checkSearchTime(), 1);
  EXPECT_EQ(board->commands, 1);
  // A front-end that sets the counter to the period makes the next call poll.
  board->pollCounter = board->pollPeriod;
  EXPECT_EQ(board->checkSearchTime(), 1);
  EXPECT_EQ(board->commands, 2);
  // The node limit is tested on every call, except in a ponder search.
  board->setEngineSearchMode(MODE_NODES, 100, 0);
  countNodes = 99;
  EXPECT_EQ(board->checkSearchTime(), 1);
  countNodes = 100;
  board->ponderSearch = 1;
  EXPECT_EQ(board->checkSearchTime(), 1);
  board->ponderSearch = 0;
  EXPECT_EQ(board->checkSearchTime(), 0);
  EXPECT_EQ(board->stopSearch, STOP_PLAY);
  // Once stopped, a call returns 0 without counting.
  const u32 counter = board->pollCounter;
  EXPECT_EQ(board->checkSearchTime(), 0);
  EXPECT_EQ(board->pollCounter, counter);
}

// A stop by a command run from the poll holds on every later call, which
// returns 0 without counting.
TEST(SearchTime, StopByCommandHoldsOnLaterCalls) {
  StdinPipe input("stop\n");
  auto board = newBoard<PollingBoard>();
  prepareSearch(*board);
  board->pollPeriod = 10;
  for (int i = 1; i < 10; ++i) ASSERT_EQ(board->checkSearchTime(), 1);
  EXPECT_EQ(board->checkSearchTime(), 0);
  EXPECT_EQ(board->stopSearch, STOP_PLAY);
  const u32 counter = board->pollCounter;
  for (int i = 0; i < 3; ++i) EXPECT_EQ(board->checkSearchTime(), 0);
  EXPECT_EQ(board->pollCounter, counter);
}

// The clock is read on every CLOCK_CHECK_MASK + 1-th call, counted afresh
// from the start of each search: an expired time limit stops exactly there.
TEST(SearchTime, ClockIsReadOnItsCadence) {
  auto board = newTestBoard();
  for (int search = 0; search < 2; ++search) {
    prepareSearch(*board);
    board->searchMode = MODE_MOVETIME;
    board->timeLimit = 0;
    board->pollPeriod = 1500;
    readClock(board->startTime);
    for (u32 i = 1; i <= ChessBoard::CLOCK_CHECK_MASK; ++i)
      ASSERT_EQ(board->checkSearchTime(), 1) << i;
    EXPECT_EQ(board->checkSearchTime(), 0);
    EXPECT_EQ(board->stopSearch, STOP_PLAY);
  }
}

// A time limit is kept to within a few milliseconds although input is
// polled only every 30000 calls.
TEST(SearchTime, TimeLimitIsOvershotByLittle) {
  auto board = newTestBoard();
  const u64 allowed = 3000u * testsupport::kSlowdown;  // microseconds
  u64 best = ~0ULL;  // the best of a few attempts: a busy machine may preempt one
  for (int attempt = 0; attempt < 5 && best - 50000 >= allowed; ++attempt) {
    board->newGame();
    ASSERT_EQ(setFen(*board, MIDDLEGAME), 1);
    prepareSearch(*board);
    board->searchMode = MODE_MOVETIME;
    board->timeLimit = 50000;
    board->pollPeriod = 30000;
    readClock(board->startTime);
    board->alphabeta(40 * ONE_PLY, -MATE_SCORE, MATE_SCORE, 0, 0);
    const u64 elapsed = elapsedMicroseconds(board->startTime);
    EXPECT_EQ(board->stopSearch, STOP_PLAY);
    EXPECT_GE(elapsed, 50000u);
    best = std::min(best, elapsed);
  }
  EXPECT_LT(best - 50000, allowed) << "overshoot in microseconds";
}
