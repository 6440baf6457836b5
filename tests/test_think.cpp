// The think: every search mode on real positions, the moves and lines it
// gives, its stop rules, pondering with a hit, a stop and an abort, the
// opening-book path, and the wait of a ponder or infinite think at its
// depth bound.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/input.h"
#include "engine/search.h"
#include "engine/timecontrol.h"
#include "tests/support/child_process.h"
#include "tests/support/slowdown.h"
#include "tests/support/test_board.h"

namespace {

const char* START = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
const char* KIWIPETE = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";
const char* BLACK_TO_MOVE = "r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R b KQkq - 5 4";

// Records every callback of a think, and acts from inside it as a command
// read during the search would: a stop code at a reported depth, a ponder
// hit at another, or (readCommands) the commands waiting on standard input.
class RecordingBoard : public TestBoard {
public:
  std::vector<PLine> lines;  // the reported lines, one per iteration
  std::vector<int> finishCodes;
  int starts = 0, clears = 0, stopAtDepth = 0, stopCode = STOP_PLAY, hitAtDepth = 0,
      announceDepth = 0;
  bool readCommands = false;

  void onComputerStartPlaying() override { starts++; }
  void onComputerFinishPlaying(int code) override { finishCodes.push_back(code); }
  void onComputerClearPV() override { clears++; }
  int onComputerThinkPV(int depth, PLine& pv, unsigned long long, double) override {
    EXPECT_EQ(depth, (int)lines.size() + 1);
    lines.push_back(pv);
    if (depth == hitAtDepth) ponderSearch = 0;
    if (depth == stopAtDepth) stopSearch = stopCode;
    if (depth == announceDepth) {
      printf("bound\n");
      fflush(stdout);
    }
    return 1;
  }
  int onParseInputCommand() override {
    char line[256];
    if (!readCommands) return 1;
    if (readInputLine(line, sizeof line) < 0) stopSearch = STOP_ABORT;
    if (strcmp(line, "stop") == 0) stopSearch = ponderSearch ? STOP_PONDER : STOP_PLAY;
    if (strcmp(line, "ponderhit") == 0) ponderSearch = 0;
    return 1;
  }
};

std::unique_ptr<RecordingBoard> thinkBoard(const char* fen = START, int mode = MODE_DEPTH,
                                           int value = 0) {
  auto board = newBoard<RecordingBoard>(fen, 4);
  board->setEngineSearchMode(mode, value, 0);
  return board;
}

// The position of a ponder search: 1. e4 was the engine's move and the
// expected reply 1... e5 has been played on the board.
std::unique_ptr<RecordingBoard> ponderingBoard(int mode = MODE_DEPTH, int value = 0) {
  auto board = thinkBoard(START, mode, value);
  EXPECT_TRUE(playMoves(*board, {"e2e4", "e7e5"}));
  board->ponderEnabled = 1;
  return board;
}

// Gives the side to move a clock (and the other side a huge one).
void setClock(RecordingBoard& board, float ms, int incrementMs, int movesToGo) {
  board.setEngineSearchMode(MODE_CLOCK, 0, 0);
  const unsigned side = board.currentNode.sideToMove;
  board.remainingTime[side] = ms;
  board.timeIncrement[side] = incrementMs;
  board.remainingTime[1 - side] = 1e7f;
  board.timeIncrement[1 - side] = 100000;
  board.movesToGo = movesToGo;
}

// Runs a think (counting its onNextPlayer calls afresh); its duration in
// microseconds.
u64 think(RecordingBoard& board, int ponder = 0) {
  board.nextPlayers = 0;
  TimeOfDay start;
  readClock(start);
  board.computerPlay(ponder);
  return elapsedMicroseconds(start);
}

// What every normal think must leave: one finish with stop code 1, the
// move played legal in the game position before it (`before`, a copy) and
// recorded with its short text against that position, the expected reply
// legal after it, and every reported line legal move by move.
void expectPlayedMove(RecordingBoard& board, RecordingBoard& before) {
  EXPECT_EQ(board.finishCodes, std::vector<int>{STOP_PLAY});
  EXPECT_EQ(board.nextPlayers, 1);
  EXPECT_EQ(board.computerThinking, 0);
  ASSERT_EQ(board.gameLength, before.gameLength + 1);
  const ChessMove played = board.gameRecord[before.gameLength].move;
  EXPECT_TRUE(isLegal(before.currentNode, played));
  EXPECT_EQ(board.lastMove, played);
  char text[12];
  before.buildLegalMoves();
  played.textShort(text, before.legalMoves, before.legalMoveCount);
  EXPECT_STREQ(board.gameRecord[before.gameLength].text, text);
  if (board.ponderMove) {
    EXPECT_TRUE(isLegal(board.currentNode, board.ponderMove));
  }
  for (const PLine& line : board.lines)
    EXPECT_EQ(legalPrefix(before.currentNode, line), line.count);
}

}  // namespace

TEST(Think, FixedDepthReportsEachIterationWithLegalLines) {
  for (const char* fen :
       {START, KIWIPETE, "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
        "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1", BLACK_TO_MOVE}) {
    SCOPED_TRACE(fen);
    auto board = thinkBoard(fen, MODE_DEPTH, 5), before = thinkBoard(fen);
    board->useBook = 0;
    think(*board);
    EXPECT_EQ(board->lines.size(), 5u);
    EXPECT_EQ(board->starts + board->clears, 2);
    expectPlayedMove(*board, *before);
    // The move and the expected reply come from the last line.
    const PLine& last = board->lines.back();
    EXPECT_EQ(board->lastMove, last.moves[0].move);
    EXPECT_EQ(board->ponderMove, last.count > 1 ? last.moves[1].move : ChessMove(0));
  }
  // Depth 0 still searches iteration 1; a mated side shows the bound of 64
  // in full (every iteration is instant) and plays nothing.
  auto board = thinkBoard(START, MODE_DEPTH, 0);
  think(*board);
  EXPECT_EQ(board->lines.size(), 1u);
  EXPECT_EQ(board->gameLength, 1u);
  board = thinkBoard("R5k1/5ppp/8/8/8/8/8/6K1 b - - 0 1", MODE_DEPTH, 1000);
  think(*board);
  EXPECT_EQ(board->lines.size(), 64u);
  EXPECT_EQ(board->rootState, 2);
  EXPECT_EQ(board->gameLength, 0u);
  EXPECT_EQ(board->finishCodes, std::vector<int>{STOP_PLAY});
}

TEST(Think, LimitsStillPlayALegalMove) {
  auto before = thinkBoard(KIWIPETE);
  // Node limits that stop the think before, inside and after its first
  // iterations, in the pre-scoring and in the move loop of the root; the
  // limit stops the search on the first check after it is reached.
  for (int limit : {1, 50, 300, 1000, 2500, 6000, 20000}) {
    SCOPED_TRACE(limit);
    auto board = thinkBoard(KIWIPETE, MODE_NODES, limit);
    think(*board);
    expectPlayedMove(*board, *before);
    EXPECT_LE(countNodes, (u64)limit + 2);
  }
  // The time limits below end the think on time, not at a depth: it lasts
  // at least its limit and stops soon after, where "soon" leaves room for
  // a loaded machine. Kiwipete to the depth bound would take far longer.
  const u64 lateness = 1000000u * testsupport::kSlowdown;
  // A fixed move time keeps a tenth in hand: 150 ms allow 135 ms.
  auto board = thinkBoard(KIWIPETE, MODE_MOVETIME, 150000);
  u64 used = think(*board);
  EXPECT_EQ(board->moveTime, 150000u);
  EXPECT_EQ(board->timeLimit, 135000u);
  EXPECT_GE(used, 135000u);
  EXPECT_LT(used, 135000u + lateness);
  expectPlayedMove(*board, *before);
  EXPECT_GE(board->lines.size(), 1u);  // the first iteration always ends
  // The clock of the side to move: 1 s + 10 ms allows 35 ms.
  for (const char* fen : {KIWIPETE, BLACK_TO_MOVE}) {
    board = thinkBoard(fen);
    board->useBook = 0;
    setClock(*board, 1000.0f, 10, 0);
    used = think(*board);
    EXPECT_EQ(board->timeLimit, 35000u);
    EXPECT_LT(used, 35000u + lateness);
    expectPlayedMove(*board, *thinkBoard(fen));
  }
  // An overrun clock: the first iteration is finished, then the smallest
  // budget ends the think.
  board = thinkBoard(KIWIPETE);
  setClock(*board, -1500.0f, 0, 0);
  used = think(*board);
  EXPECT_EQ(board->timeLimit, MIN_CLOCK_BUDGET);
  EXPECT_LT(used, MIN_CLOCK_BUDGET + lateness);
  expectPlayedMove(*board, *before);
  EXPECT_LE(board->lines.size(), 2u);
}

TEST(Think, ClockRulesStopAbortAndInfinite) {
  // Exactly one legal move: played after iteration 1. A mate found again in
  // iteration 6 ends the think.
  auto board = thinkBoard("7k/8/8/8/8/8/6q1/7K w - - 0 1");
  setClock(*board, 300000.0f, 0, 40);
  think(*board);
  EXPECT_EQ(board->lines.size(), 1u);
  EXPECT_STREQ(board->gameRecord[0].text, "Kxg2");
  board = thinkBoard("6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1");
  setClock(*board, 300000.0f, 0, 40);
  think(*board);
  EXPECT_EQ(board->lines.size(), 6u);
  EXPECT_STREQ(board->gameRecord[0].text, "Ra8");
  EXPECT_GT(board->lines.back().moves[0].score, MATE_THRESHOLD);
  // "stop" in infinite mode plays the best move so far.
  board = thinkBoard(KIWIPETE, MODE_INFINITE);
  board->stopAtDepth = 4;
  think(*board);
  EXPECT_EQ(board->lines.size(), 4u);
  expectPlayedMove(*board, *thinkBoard(KIWIPETE));
  EXPECT_EQ(board->lastMove, board->lines.back().moves[0].move);
  // An abort plays nothing and only reports the end.
  board = thinkBoard(KIWIPETE, MODE_DEPTH, 8);
  board->stopAtDepth = 2;
  board->stopCode = STOP_ABORT;
  think(*board);
  EXPECT_EQ(board->gameLength, 0u);
  EXPECT_EQ(board->finishCodes, std::vector<int>{STOP_ABORT});
  EXPECT_EQ(board->nextPlayers + board->computerThinking, 0);
}

TEST(Think, BookAnswersWithoutSearch) {
  auto board = thinkBoard(START, MODE_DEPTH, 6);
  const ChessMove e4 = findMove(board->currentNode, "e2e4");
  // The book's word lacks the double-push flag: the legal move it names is
  // played as generated, with stop code 1 and no expected reply.
  board->openingBook.addNode(board->currentNode.hashKey, ChessMove(e4 & ~MOVE_DOUBLE_PUSH), 5, 40,
                             30);
  board->ponderMove = findMove(board->currentNode, "d2d4");
  countNodes = 12345;
  think(*board);
  EXPECT_TRUE(board->lines.empty());
  EXPECT_EQ(countNodes, 0u);
  EXPECT_EQ(board->lastMove, e4);
  EXPECT_STREQ(board->gameRecord[0].text, "e4");
  EXPECT_EQ(board->ponderMove, 0u);
  EXPECT_EQ(board->finishCodes, std::vector<int>{STOP_PLAY});
  EXPECT_EQ(board->nextPlayers, 1);
  EXPECT_EQ(board->currentNode.enPassantFile, 5);  // the double push
  // En passant from the book, recorded without " e.p".
  board = thinkBoard("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1");
  board->openingBook.addNode(board->currentNode.hashKey, findMove(board->currentNode, "e5d6"), 1, 0,
                             0);
  think(*board);
  EXPECT_STREQ(board->gameRecord[0].text, "exd6");
  EXPECT_TRUE(board->lines.empty());
  // Two book thinks in a row: each text against its own position (Black's
  // knight move needs its file, which only Black's own list shows).
  const char* fen = "rnbqkb1r/ppp2ppp/3p1n2/4p3/4P3/3P1N2/PPP2PPP/RNBQKB1R w KQkq - 0 1";
  board = thinkBoard(fen);
  auto scratch = thinkBoard(fen);
  const u64 key1 = scratch->currentNode.hashKey;
  const ChessMove white = findMove(scratch->currentNode, "b1c3");
  ASSERT_TRUE(playMoves(*scratch, {"b1c3"}));
  const u64 key2 = scratch->currentNode.hashKey;
  const ChessMove black = findMove(scratch->currentNode, "b8d7");
  // The probe needs the nodes in ascending order of key.
  board->openingBook.addNode(std::min(key1, key2), key1 < key2 ? white : black, 10, 50, 50);
  board->openingBook.addNode(std::max(key1, key2), key1 < key2 ? black : white, 10, 50, 50);
  think(*board);
  think(*board);
  ASSERT_EQ(board->gameLength, 2u);
  EXPECT_STREQ(board->gameRecord[0].text, "Nc3");
  EXPECT_STREQ(board->gameRecord[1].text, "Nbd7");
}

TEST(Think, BookIsSkippedWhenItsMoveIsIllegalOrTheThinkMustNotEnd) {
  // e2-e5 is no move of the position: searched as if the book had none.
  auto board = thinkBoard(START, MODE_DEPTH, 3);
  board->openingBook.addNode(board->currentNode.hashKey, ChessMove::make(12, 36, PAWN), 5, 0, 0);
  think(*board);
  EXPECT_EQ(board->lines.size(), 3u);
  expectPlayedMove(*board, *thinkBoard(START));
  // Not while pondering: the ponder search goes on to the hit and plays
  // its own move.
  board = ponderingBoard(MODE_DEPTH, 3);
  board->openingBook.addNode(board->currentNode.hashKey, findMove(board->currentNode, "g1f3"), 5, 0,
                             0);
  board->hitAtDepth = 2;
  think(*board, 1);
  EXPECT_EQ(board->lines.size(), 3u);
  expectPlayedMove(*board, *ponderingBoard());
  // Not in infinite analysis, nor after 19 plies of game record.
  board = thinkBoard(START, MODE_INFINITE);
  board->openingBook.addNode(board->currentNode.hashKey, findMove(board->currentNode, "e2e4"), 5, 0,
                             0);
  board->stopAtDepth = 2;
  think(*board);
  EXPECT_EQ(board->lines.size(), 2u);
  board = thinkBoard(START, MODE_DEPTH, 2);
  for (int i = 0; i < 5; i++) ASSERT_TRUE(playMoves(*board, {"g1f3", "g8f6", "f3g1", "f6g8"}));
  board->openingBook.addNode(board->currentNode.hashKey, findMove(board->currentNode, "e2e4"), 5, 0,
                             0);
  think(*board);
  EXPECT_EQ(board->lines.size(), 2u);
}

TEST(Ponder, StopTakesThePonderedMoveBack) {
  auto board = ponderingBoard(MODE_DEPTH, 6);
  board->stopAtDepth = 2;
  board->stopCode = STOP_PONDER;
  think(*board, 1);
  EXPECT_EQ(board->lines.size(), 2u);
  EXPECT_EQ(board->finishCodes, std::vector<int>{STOP_PONDER});
  EXPECT_EQ(board->gameLength, 1u);  // only 1. e4 is left
  EXPECT_EQ(board->currentNode.sideToMove, (u32)BLACK);
  EXPECT_EQ(board->nextPlayers, 1);  // from taking the move back only
  EXPECT_EQ(board->ponderSearch + board->computerThinking, 0);
}

TEST(Ponder, HitTurnsItIntoANormalThinkWhoseLimitsApplyFromThen) {
  auto board = ponderingBoard(MODE_DEPTH, 5);
  board->hitAtDepth = 2;
  think(*board, 1);
  EXPECT_EQ(board->lines.size(), 5u);
  expectPlayedMove(*board, *ponderingBoard());
  EXPECT_EQ(board->ponderSearch, 0);
  // A clock of 20 ms allows half a millisecond: the ponder search goes on
  // regardless until the hit, after which the budget, measured from the
  // start of the ponder search, ends the think at once. Without pondering
  // enabled the same think is an ordinary one.
  for (int enabled : {1, 0}) {
    board = ponderingBoard();
    board->ponderEnabled = enabled;
    setClock(*board, 20.0f, 0, 0);
    board->hitAtDepth = 6;
    think(*board, 1);
    if (enabled) {
      EXPECT_TRUE(board->lines.size() == 6u || board->lines.size() == 7u) << board->lines.size();
    } else {
      EXPECT_LT(board->lines.size(), 6u);
    }
    expectPlayedMove(*board, *ponderingBoard());
  }
}

// A ponder or infinite think at its depth bound waits for commands on
// standard input. The waiting think runs in a child process (this test
// binary, re-run for one test) whose standard input is a pipe; it announces
// "bound" when it reaches the bound and "result ..." at its end.
namespace {

const char* CHILD_ENV = "QUARVEL_THINK_WAIT_CHILD";

double cpuSeconds() {
  rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Reads "name=value" from a result line.
long field(const std::string& result, const std::string& name) {
  size_t at = result.find(name + "=");
  return at == std::string::npos ? -1 : atol(result.c_str() + at + name.size() + 1);
}

}  // namespace

TEST(PonderChild, WaitingThink) {
  const char* scenario = getenv(CHILD_ENV);
  if (!scenario) GTEST_SKIP() << "runs only as the child of the waiting-think tests";
  const bool infinite = strcmp(scenario, "infinite") == 0;
  auto board = infinite ? thinkBoard(START, MODE_INFINITE) : ponderingBoard(MODE_DEPTH, 3);
  board->maxDepth = 3;
  board->announceDepth = 3;
  board->readCommands = true;
  const double cpu = cpuSeconds();
  const u64 wall = think(*board, infinite ? 0 : 1);
  printf("result finish=%d reports=%zu record=%u cpu_ms=%.0f wall_ms=%llu\n",
         board->finishCodes.empty() ? -1 : board->finishCodes[0], board->lines.size(),
         board->gameLength, (cpuSeconds() - cpu) * 1000, (unsigned long long)wall / 1000);
  fflush(stdout);
}

TEST(Ponder, WaitsAtTheDepthBoundWithoutSpinning) {
  const struct {
    const char* scenario;
    const char* command;
    long finish, reports, record;
  } cases[] = {
      {"ponder", "ponderhit", STOP_PLAY, 3, 3},  // e4 e5 and the engine's move
      {"ponder", "stop", STOP_PONDER, 3, 1},     // the pondered move taken back
      {"infinite", "stop", STOP_PLAY, 3, 1},
  };
  for (const auto& c : cases) {
    setenv(CHILD_ENV, c.scenario, 1);
    testsupport::ChildProcess child("/proc/self/exe", {"--gtest_filter=PonderChild.WaitingThink"});
    unsetenv(CHILD_ENV);
    EXPECT_TRUE(child.readUntilPrefix("bound", testsupport::Millis(20000)).has_value())
        << child.stderrText();
    usleep(300000);
    child.writeLine(c.command);
    const std::string result =
        child.readUntilPrefix("result", testsupport::Millis(20000)).value_or("");
    EXPECT_TRUE(child.wait(testsupport::Millis(20000)).success());
    EXPECT_EQ(field(result, "finish"), c.finish) << result;
    EXPECT_EQ(field(result, "reports"), c.reports) << result;
    EXPECT_EQ(field(result, "record"), c.record) << result;
    EXPECT_GE(field(result, "wall_ms"), 300) << result;
    EXPECT_LT(field(result, "cpu_ms"), 150) << result;
  }
}
