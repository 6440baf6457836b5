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
#include "tests/support/test_board.h"
#include "tests/support/test_paths.h"

namespace {

void setPosition(TestBoard& board, const std::string& fen) {
  char text[256];
  snprintf(text, sizeof text, "%s", fen.c_str());
  ASSERT_EQ(board.setFENPosition(text), 1) << fen;
}

// Readies the game position to be searched from ply 0, as a think does:
// fresh ordering tables, no stop, no limit, and the root's node record.
void prepareSearch(ChessBoard& board) {
  board.clearKillerMoves();
  board.stopSearch = STOP_NONE;
  board.ponderSearch = 0;
  board.searchMode = MODE_DEPTH;
  board.pollCounter = 0;
  countNodes = 0;
  ChessBoardNode& node = board.currentNode;
  node.undoStack[node.undoCount].inCheck = static_cast<u8>(node.inCheck());
  node.undoStack[node.undoCount].nodeType = PV_NODE;
}

// Iterative deepening over alpha-beta at ply 0, one to plies deep, with the
// full window; returns the score of the deepest finished iteration.
int searchTo(ChessBoard& board, int plies) {
  prepareSearch(board);
  int score = 0;
  for (int depth = 1; depth <= plies && !board.stopSearch; ++depth) {
    int s = board.alphabeta(depth * ONE_PLY, -MATE_SCORE, MATE_SCORE, 0, 0);
    if (!board.stopSearch) score = s;
  }
  return score;
}

// Number of legal moves of the game position.
unsigned legalMoveCount(ChessBoardNode& node) {
  ChessMoveSort list[256];
  unsigned n;
  if (node.inCheck()) {
    n = static_cast<unsigned>(node.generateKingEvasion(list));
  } else {
    unsigned captures = 0, quiets = 0;
    node.generateMovesC(list, &captures);
    node.generateMovesNC(list + captures, &quiets);
    n = captures + quiets;
  }
  unsigned legal = 0;
  for (unsigned i = 0; i < n; ++i) {
    if (node.makeMove(list[i].move)) ++legal;
    node.unMakeMove(list[i].move);
  }
  return legal;
}

// Plays a line on the game position and tells whether every move is legal
// and the side to move is checkmated at its end; takes the line back.
bool lineEndsInMate(ChessBoardNode& node, const PLine& line) {
  unsigned made = 0;
  bool legal = true;
  for (; made < line.count; ++made) {
    if (!node.makeMove(line.moves[made].move)) {
      node.unMakeMove(line.moves[made].move);
      legal = false;
      break;
    }
  }
  bool mate = legal && node.inCheck() && legalMoveCount(node) == 0;
  while (made > 0) node.unMakeMove(line.moves[--made].move);
  return mate;
}

// From and to of a long-algebraic move text with piece letter ("Qd8-f6+").
std::string squaresOf(const std::string& text) {
  size_t i = (text[0] >= 'A' && text[0] <= 'Z') ? 1 : 0;
  return text.substr(i, 2) + text.substr(i + 3, 2);
}

struct MateSuiteResult {
  int positions = 0;
  int mates = 0;              // a mate score and a line that mates
  int distanceDiffers = 0;    // mate found at another distance than the suite's
  int sameMove = 0;           // first move equal to the suite's best move
};

// Searches every position of a mate suite after newGame, plies deeper than
// the mate's own length.
MateSuiteResult runMateSuite(const std::string& file, int extraPlies) {
  MateSuiteResult result;
  auto board = newTestBoard();
  std::ifstream in(testsupport::dataPath(file));
  std::string line;
  while (std::getline(in, line)) {
    size_t ce = line.find("ce +M"), bm = line.find("bm ");
    if (ce == std::string::npos || bm == std::string::npos) continue;
    std::istringstream fields(line);
    std::string field, fen;
    for (int i = 0; i < 4 && fields >> field; ++i) fen += (i ? " " : "") + field;
    const int moves = atoi(line.c_str() + ce + 5);
    board->newGame();
    setPosition(*board, fen + " 0 1");
    const int score = searchTo(*board, 2 * moves - 1 + extraPlies);
    const PLine& pv = board->currentNode.pvLines[0];
    ++result.positions;
    if (score > MATE_THRESHOLD && lineEndsInMate(board->currentNode, pv)) {
      ++result.mates;
      if (board->calcMateValue(score) != moves || static_cast<int>(pv.count) != 2 * moves - 1) {
        ++result.distanceDiffers;
        ADD_FAILURE() << fen << ": mate in " << moves << " reported as " << board->calcMateValue(score);
      }
    } else {
      ADD_FAILURE() << fen << ": no mate found, score " << score;
    }
    char text[16];
    pv.moves[0].move.text(text);
    if (squaresOf(text) == squaresOf(line.substr(bm + 3))) ++result.sameMove;
  }
  printf("[ suite    ] %s: %d positions, %d mates, %d at another distance, %d same first move\n",
         file.c_str(), result.positions, result.mates, result.distanceDiffers, result.sameMove);
  return result;
}

// Everything a search leaves for the rest of a think: the transposition
// table, the killers, mate killers and history.
struct OrderingState {
  std::vector<HashTableNode> table;
  std::vector<u32> killers;
  std::vector<u32> history;

  explicit OrderingState(const ChessBoard& board) {
    const HashTable& t = board.currentNode.hashTable;
    table.assign(t.table, t.table + t.size);
    for (unsigned p = 0; p <= MAX_PLY; ++p) {
      killers.push_back(board.killer1[p]);
      killers.push_back(board.killer2[p]);
      killers.push_back(board.mateKiller[p]);
    }
    const u32* h = &board.historyTable[0][0][0];
    history.assign(h, h + 2 * 64 * 64);
  }
  bool operator==(const OrderingState& o) const {
    if (killers != o.killers || history != o.history || table.size() != o.table.size()) return false;
    return memcmp(table.data(), o.table.data(), table.size() * sizeof(HashTableNode)) == 0;
  }
};

// Standard input replaced by a pipe for the length of a test, so that the
// input poll of the search sees what the test writes.
class StdinPipe {
public:
  StdinPipe() {
    EXPECT_EQ(pipe(fds), 0);
    saved = dup(STDIN_FILENO);
    dup2(fds[0], STDIN_FILENO);
    standardInput().reset();
  }
  ~StdinPipe() {
    dup2(saved, STDIN_FILENO);
    close(saved);
    close(fds[0]);
    close(fds[1]);
    standardInput().reset();
  }
  void write(const char* text) { EXPECT_GT(::write(fds[1], text, strlen(text)), 0); }

private:
  int fds[2];
  int saved;
};

// A board whose front-end reads the waiting line and stops the search on
// "stop"; it can also stop by itself once the node count reaches a value,
// keeping a copy of the ordering state at that moment.
class PollingBoard : public TestBoard {
public:
  int commands = 0;
  u64 stopAtNodes = 0;
  std::unique_ptr<OrderingState> atStop;
  bool consumeLines = true;

  int onParseInputCommand() override {
    ++commands;
    if (consumeLines) {
      char line[64];
      if (readInputLine(line, sizeof line) >= 0 && strcmp(line, "stop") == 0) stopSearch = STOP_PLAY;
    }
    if (stopAtNodes && countNodes >= stopAtNodes && !atStop) {
      atStop.reset(new OrderingState(*this));
      stopSearch = STOP_PLAY;
    }
    return 1;
  }
};

std::unique_ptr<PollingBoard> newPollingBoard() {
  std::unique_ptr<PollingBoard> board(new PollingBoard());
  board->init(2);
  board->newGame();
  return board;
}

const char* MIDDLEGAME = "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP2BPPP/R1BQK2R w KQ - 0 8";

}  // namespace

TEST(MateValue, PliesToMoves) {
  TestBoard board;
  EXPECT_EQ(board.calcMateValue(31999), 1);
  EXPECT_EQ(board.calcMateValue(32000 - 3), 2);
  EXPECT_EQ(board.calcMateValue(-31998), 1);
  EXPECT_EQ(board.calcMateValue(-32000), 0);
  EXPECT_EQ(board.calcMateValue(31744), 128);
  EXPECT_EQ(board.calcMateValue(31743), 31743);
  EXPECT_EQ(board.calcMateValue(-31743), -31743);
  EXPECT_EQ(board.calcMateValue(25), 25);
}

// Every position of the suites, searched one ply beyond the mate's length:
// a mate score at the suite's distance and a line that mates.
TEST(MateSuite, MateInOne) {
  QUARVEL_REQUIRE_DATA("mate_in_1.epd");
  MateSuiteResult r = runMateSuite("mate_in_1.epd", 2);
  EXPECT_EQ(r.positions, 64);
  EXPECT_EQ(r.mates, 64);
  EXPECT_EQ(r.distanceDiffers, 0);
}

TEST(MateSuite, MateInTwo) {
  QUARVEL_REQUIRE_DATA("mate_in_2.epd");
  MateSuiteResult r = runMateSuite("mate_in_2.epd", 2);
  EXPECT_EQ(r.positions, 150);
  EXPECT_EQ(r.mates, 150);
  EXPECT_EQ(r.distanceDiffers, 0);
}

TEST(MateSuite, MateInThree) {
  QUARVEL_REQUIRE_DATA("mate_in_3.epd");
  MateSuiteResult r = runMateSuite("mate_in_3.epd", 2);
  EXPECT_EQ(r.positions, 150);
  EXPECT_EQ(r.mates, 150);
  EXPECT_EQ(r.distanceDiffers, 0);
}

TEST(Search, MateAndStalemateAtTheNode) {
  auto board = newTestBoard();
  setPosition(*board, "R5k1/5ppp/8/8/8/8/8/6K1 b - - 0 1");   // back-rank mate
  prepareSearch(*board);
  board->currentNode.undoStack[board->currentNode.undoCount].nodeType = CUT_NODE;
  EXPECT_EQ(board->alphabeta(2 * ONE_PLY, -MATE_SCORE, MATE_SCORE, 0, 3), 3 - MATE_SCORE);
  EXPECT_EQ(board->currentNode.nodeState, NODE_MATE);
  setPosition(*board, "7k/5Q2/6K1/8/8/8/8/8 b - - 0 1");      // stalemate
  prepareSearch(*board);
  EXPECT_EQ(board->alphabeta(2 * ONE_PLY, -MATE_SCORE, MATE_SCORE, 0, 0), 0);
  EXPECT_EQ(board->currentNode.nodeState, NODE_STALEMATE);
}

TEST(Search, FiftyMoveRuleAndRepetitionComeFirst) {
  auto board = newTestBoard();
  // A queen up, but the hundredth reversible ply has been played.
  setPosition(*board, "4k3/8/8/8/8/8/8/3QK3 w - - 100 80");
  prepareSearch(*board);
  board->currentNode.pvLines[0].count = 3;   // a stale line must not survive
  EXPECT_EQ(board->alphabeta(4 * ONE_PLY, -MATE_SCORE, MATE_SCORE, 0, 0), 0);
  EXPECT_EQ(board->currentNode.pvLines[0].count, 0u);
  EXPECT_EQ(countNodes, 1u);
  // The same position back after two moves of each side: a draw at once.
  setPosition(*board, "4k3/8/8/8/8/8/8/3QK3 w - - 0 1");
  for (const char* m : {"d1b3", "e8f8", "b3d1", "f8e8"}) {
    char text[8];
    snprintf(text, sizeof text, "%s", m);
    ASSERT_EQ(board->setMoveSquare(text), 1) << m;
  }
  prepareSearch(*board);
  EXPECT_EQ(board->alphabeta(4 * ONE_PLY, -MATE_SCORE, MATE_SCORE, 0, 0), 0);
  EXPECT_EQ(countNodes, 1u);
}

TEST(Search, LosingSideTakesTheRepetition) {
  auto board = newTestBoard();
  // Black, a queen up, shuffles; White's king has stepped from h1 to g1 and
  // can step back to repeat the position after Black's first move.
  setPosition(*board, "kq6/8/8/8/8/8/6PP/7K b - - 0 1");
  for (const char* m : {"b8c8", "h1g1", "c8b8"}) {
    char text[8];
    snprintf(text, sizeof text, "%s", m);
    ASSERT_EQ(board->setMoveSquare(text), 1) << m;
  }
  EXPECT_EQ(searchTo(*board, 5), 0);
  char text[16];
  board->currentNode.pvLines[0].moves[0].move.text(text);
  EXPECT_STREQ(text, "Kg1-h1");
}

TEST(Search, SameSearchTwiceGivesTheSameResult) {
  auto board = newTestBoard();
  int score[2];
  u64 nodes[2];
  PLine line[2];
  for (int run = 0; run < 2; ++run) {
    board->newGame();
    setPosition(*board, MIDDLEGAME);
    score[run] = searchTo(*board, 6);
    nodes[run] = countNodes;
    line[run] = board->currentNode.pvLines[0];
  }
  EXPECT_EQ(score[0], score[1]);
  EXPECT_EQ(nodes[0], nodes[1]);
  ASSERT_EQ(line[0].count, line[1].count);
  ASSERT_GT(line[0].count, 0u);
  for (unsigned i = 0; i < line[0].count; ++i) EXPECT_EQ(line[0].moves[i].move, line[1].moves[i].move);
}

// A command that stops the search in the middle leaves the table, killers
// and history exactly as they were when it arrived (after the last child
// search that finished), however deep in the tree it came.
TEST(Search, StopByCommandLeavesNothingBehind) {
  StdinPipe input;
  input.write("waiting\n");   // makes every poll tick call the front-end
  for (u64 stopAt : {300u, 2000u, 15000u, 60000u}) {
    auto board = newPollingBoard();
    board->consumeLines = false;
    board->stopAtNodes = stopAt;
    setPosition(*board, MIDDLEGAME);
    board->pollPeriod = 1;
    searchTo(*board, 12);
    ASSERT_TRUE(board->atStop) << stopAt;
    EXPECT_TRUE(OrderingState(*board) == *board->atStop) << "stopped at " << stopAt;
  }
  char line[64];
  EXPECT_EQ(readInputLine(line, sizeof line), 7);
}

// A node limit stops at the same point as a command issued at that node
// count, with the same state left behind.
TEST(Search, NodeLimitLeavesNothingBehind) {
  StdinPipe input;
  input.write("waiting\n");
  for (u64 limit : {500u, 5000u, 40000u}) {
    auto byCommand = newPollingBoard();
    byCommand->consumeLines = false;
    byCommand->stopAtNodes = limit;
    setPosition(*byCommand, MIDDLEGAME);
    byCommand->pollPeriod = 1;
    searchTo(*byCommand, 12);
    ASSERT_TRUE(byCommand->atStop);

    auto byLimit = newTestBoard();
    setPosition(*byLimit, MIDDLEGAME);
    prepareSearch(*byLimit);
    byLimit->searchMode = MODE_NODES;
    byLimit->nodeLimit = limit;
    for (int depth = 1; depth <= 12 && !byLimit->stopSearch; ++depth) {
      byLimit->alphabeta(depth * ONE_PLY, -MATE_SCORE, MATE_SCORE, 0, 0);
    }
    EXPECT_EQ(byLimit->stopSearch, STOP_PLAY);
    EXPECT_EQ(countNodes, limit);
    EXPECT_TRUE(OrderingState(*byLimit) == *byCommand->atStop) << "limit " << limit;
  }
  char line[64];
  EXPECT_EQ(readInputLine(line, sizeof line), 7);
}

// "stop" arriving in the same read as the line before it is still seen by
// the running search: the poll looks into the reader's buffer first.
TEST(SearchTime, LineBufferedWithAnEarlierOneStopsTheSearch) {
  StdinPipe input;
  auto board = newPollingBoard();
  setPosition(*board, MIDDLEGAME);
  input.write("go infinite\nstop\n");
  char line[64];
  ASSERT_EQ(readInputLine(line, sizeof line), 11);   // the command loop's read
  board->pollPeriod = 1000;
  searchTo(*board, 30);
  EXPECT_EQ(board->stopSearch, STOP_PLAY);
  EXPECT_EQ(board->commands, 1);
  EXPECT_LT(countNodes, 1000u);
}

TEST(SearchTime, PollTicksAndLimits) {
  StdinPipe input;
  input.write("waiting\n");
  auto board = newPollingBoard();
  board->consumeLines = false;
  prepareSearch(*board);
  // With a period of 30000 the 30000th call polls.
  board->pollPeriod = 30000;
  for (int i = 1; i < 30000; ++i) ASSERT_EQ(board->checkSearchTime(), 1);
  EXPECT_EQ(board->commands, 0);
  EXPECT_EQ(board->checkSearchTime(), 1);
  EXPECT_EQ(board->commands, 1);
  EXPECT_EQ(board->pollCounter, 0u);
  // A front-end that sets the counter to the period makes the next call poll.
  board->pollCounter = board->pollPeriod;
  EXPECT_EQ(board->checkSearchTime(), 1);
  EXPECT_EQ(board->commands, 2);
  // The node limit is tested on every call.
  board->searchMode = MODE_NODES;
  board->nodeLimit = 100;
  countNodes = 99;
  EXPECT_EQ(board->checkSearchTime(), 1);
  countNodes = 100;
  board->ponderSearch = 1;                  // a ponder search has no limit
  EXPECT_EQ(board->checkSearchTime(), 1);
  board->ponderSearch = 0;
  EXPECT_EQ(board->checkSearchTime(), 0);
  EXPECT_EQ(board->stopSearch, STOP_PLAY);
  // Once stopped, a call returns 0 without counting.
  u32 counter = board->pollCounter;
  EXPECT_EQ(board->checkSearchTime(), 0);
  EXPECT_EQ(board->pollCounter, counter);
  char line[64];
  EXPECT_EQ(readInputLine(line, sizeof line), 7);
}

// A time limit is kept to within a few milliseconds although input is
// polled only every 30000 calls.
TEST(SearchTime, TimeLimitIsOvershotByLittle) {
  auto board = newTestBoard();
  // The best of a few attempts: a busy machine may preempt one of them.
  u64 best = ~0ULL;
  for (int attempt = 0; attempt < 5 && best - 50000 >= 3000; ++attempt) {
    board->newGame();
    setPosition(*board, MIDDLEGAME);
    prepareSearch(*board);
    board->searchMode = MODE_MOVETIME;
    board->timeLimit = 50000;
    board->pollPeriod = 30000;
    readClock(board->startTime);
    board->alphabeta(40 * ONE_PLY, -MATE_SCORE, MATE_SCORE, 0, 0);
    u64 elapsed = elapsedMicroseconds(board->startTime);
    EXPECT_EQ(board->stopSearch, STOP_PLAY);
    EXPECT_GE(elapsed, 50000u);
    if (elapsed < best) best = elapsed;
  }
  EXPECT_LT(best - 50000, 3000u) << "overshoot in microseconds";
}
