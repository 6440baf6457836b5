// The think: every search mode on real positions, the moves and lines it
// gives, its stop rules, pondering with a hit, a stop and an abort, the
// opening-book path, and the wait of a ponder or infinite think at its
// depth bound.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/input.h"
#include "engine/search.h"
#include "engine/timecontrol.h"
#include "tests/support/child_process.h"
#include "tests/support/test_board.h"

namespace {

const char* START = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
const char* KIWIPETE = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";
const char* ENDGAME = "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1";
const char* PROMOTIONS = "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1";
const char* BLACK_TO_MOVE = "r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R b KQkq - 5 4";
const char* ONE_LEGAL_MOVE = "7k/8/8/8/8/8/6q1/7K w - - 0 1";   // Kxg2 only
const char* MATE_IN_ONE = "6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1";    // Ra8#
const char* CHECKMATED = "R5k1/5ppp/8/8/8/8/8/6K1 b - - 0 1";

struct Report {
  int depth;
  PLine line;
  unsigned long long nodes;
};

// Records every callback of a think; hooks let a test act from inside it,
// as a command read during the search would.
class RecordingBoard : public TestBoard {
public:
  std::vector<Report> reports;
  std::vector<int> finishCodes;
  int starts = 0;
  int clears = 0;
  int rootMoves = 0;
  std::function<void(RecordingBoard&, int)> onReport;   // after each report
  std::function<void(RecordingBoard&)> onInput;         // a command is waiting

  void onComputerStartPlaying() override { starts++; }
  void onComputerFinishPlaying(int code) override { finishCodes.push_back(code); }
  void onComputerClearPV() override { clears++; }
  void onSearchRootMove(ChessMove, int) override { rootMoves++; }
  int onComputerThinkPV(int depth, PLine& pv, unsigned long long nodes, double) override {
    reports.push_back({depth, pv, nodes});
    if (onReport) onReport(*this, depth);
    return 1;
  }
  int onParseInputCommand() override {
    if (onInput) onInput(*this);
    return 1;
  }
};

std::unique_ptr<RecordingBoard> boardAt(const char* fen) {
  std::unique_ptr<RecordingBoard> board(new RecordingBoard());
  board->init(4);
  board->newGame();
  std::vector<char> text(fen, fen + strlen(fen) + 1);
  EXPECT_EQ(board->setFENPosition(text.data()), 1) << fen;
  return board;
}

// The legal moves of the board's game position.
std::vector<ChessMove> legalMovesOf(ChessBoard& board) {
  std::vector<ChessMove> moves;
  board.buildLegalMoves();
  for (u32 i = 0; i < board.legalMoveCount; i++) {
    ChessMove m = board.legalMoves[i].move;
    if (board.currentNode.makeMove(m)) moves.push_back(m);
    board.currentNode.unMakeMove(m);
  }
  return moves;
}

bool isLegal(ChessBoard& board, ChessMove move) {
  for (ChessMove m : legalMovesOf(board))
    if (m == move) return true;
  return false;
}

// Plays a line move by move from the board's game position, each move a
// legal move of the position it is played in; takes it all back. Returns
// the number of moves that were legal in turn.
u32 legalPrefix(ChessBoard& board, const PLine& line) {
  u32 n = 0;
  while (n < line.count && isLegal(board, line.moves[n].move)) {
    board.currentNode.makeMove(line.moves[n].move);
    n++;
  }
  for (u32 i = n; i > 0; i--) board.currentNode.unMakeMove(line.moves[i - 1].move);
  return n;
}

// The move the book or a think would have to find in the game position
// for the coordinate text, as generated.
ChessMove generatedMove(ChessBoard& board, const char* text) {
  unsigned from = (text[0] - 'a') + 8 * (text[1] - '1');
  unsigned to = (text[2] - 'a') + 8 * (text[3] - '1');
  for (ChessMove m : legalMovesOf(board))
    if (m.from() == from && m.to() == to) return m;
  return 0;
}

// Runs a think (counting its onNextPlayer calls afresh); returns its
// duration in microseconds.
u64 think(RecordingBoard& board, int ponder = 0) {
  board.nextPlayers = 0;
  TimeOfDay start;
  readClock(start);
  board.computerPlay(ponder);
  return elapsedMicroseconds(start);
}

// Checks what every normal think must leave: one finish with stop code 1,
// the move played legal in the position before it and recorded, the
// expected reply legal after it, and every reported line legal.
void expectPlayedMove(RecordingBoard& board, ChessBoard& before, u32 recordBefore) {
  ASSERT_EQ(board.finishCodes.size(), 1u);
  EXPECT_EQ(board.finishCodes[0], STOP_PLAY);
  EXPECT_EQ(board.nextPlayers, 1);
  EXPECT_EQ(board.computerThinking, 0);
  ASSERT_EQ(board.gameLength, recordBefore + 1);
  ChessMove played = board.gameRecord[recordBefore].move;
  EXPECT_TRUE(isLegal(before, played));
  EXPECT_EQ(board.lastMove, played);
  EXPECT_NE(board.gameRecord[recordBefore].text[0], 0);
  if (board.ponderMove) {
    EXPECT_TRUE(isLegal(board, board.ponderMove));
  }
  for (const Report& r : board.reports)
    EXPECT_EQ(legalPrefix(before, r.line), r.line.count) << "depth " << r.depth;
}

}  // namespace

TEST(Think, FixedDepthReportsEachIterationWithLegalLines) {
  for (const char* fen : {START, KIWIPETE, ENDGAME, PROMOTIONS, BLACK_TO_MOVE}) {
    SCOPED_TRACE(fen);
    auto board = boardAt(fen);
    auto before = boardAt(fen);
    board->useBook = 0;
    board->setEngineSearchMode(MODE_DEPTH, 5, 0);
    think(*board);
    ASSERT_EQ(board->reports.size(), 5u);
    for (int d = 0; d < 5; d++) EXPECT_EQ(board->reports[d].depth, d + 1);
    EXPECT_EQ(board->starts, 1);
    EXPECT_EQ(board->clears, 1);
    expectPlayedMove(*board, *before, 0);
    // The move and the expected reply come from the last line.
    const PLine& last = board->reports.back().line;
    EXPECT_EQ(board->lastMove, last.moves[0].move);
    EXPECT_EQ(board->ponderMove, last.count > 1 ? last.moves[1].move : ChessMove(0));
    // The record's text is the short text against the position before.
    char text[12];
    before->buildLegalMoves();
    board->lastMove.textShort(text, before->legalMoves, before->legalMoveCount);
    EXPECT_STREQ(board->gameRecord[0].text, text);
  }
}

TEST(Think, DepthBoundsBelowOneAndAbove64) {
  auto board = boardAt(START);
  board->setEngineSearchMode(MODE_DEPTH, 0, 0);
  think(*board);
  ASSERT_EQ(board->reports.size(), 1u);   // iteration 1 is always searched
  EXPECT_EQ(board->gameLength, 1u);

  // A mated side: every iteration is instant, so the bound shows in full.
  auto mated = boardAt(CHECKMATED);
  mated->setEngineSearchMode(MODE_DEPTH, 1000, 0);
  think(*mated);
  ASSERT_EQ(mated->reports.size(), 64u);
  EXPECT_EQ(mated->reports.back().depth, 64);
  EXPECT_EQ(mated->rootState, 2);
  EXPECT_EQ(mated->gameLength, 0u);   // nothing to play
  ASSERT_EQ(mated->finishCodes.size(), 1u);
  EXPECT_EQ(mated->finishCodes[0], STOP_PLAY);
}

TEST(Think, NodeLimitStillPlaysALegalMove) {
  // Limits that stop the think before, inside and after its first
  // iterations, in the pre-scoring and in the move loop of the root.
  for (u64 limit : {1ull, 50ull, 300ull, 1000ull, 2500ull, 6000ull, 20000ull}) {
    SCOPED_TRACE(limit);
    auto board = boardAt(KIWIPETE);
    auto before = boardAt(KIWIPETE);
    board->setEngineSearchMode(MODE_NODES, static_cast<int>(limit), 0);
    think(*board);
    expectPlayedMove(*board, *before, 0);
    // The limit stops the search on the first check after it is reached.
    EXPECT_LE(countNodes, limit + 2);
  }
}

TEST(Think, MoveTimeIsNeverOverrun) {
  auto board = boardAt(KIWIPETE);
  auto before = boardAt(KIWIPETE);
  board->setEngineSearchMode(MODE_MOVETIME, 150000, 0);
  u64 used = think(*board);
  EXPECT_EQ(board->moveTime, 150000u);
  EXPECT_EQ(board->timeLimit, 135000u);
  EXPECT_GE(used, 135000u);
  EXPECT_LT(used, 150000u);
  expectPlayedMove(*board, *before, 0);
  EXPECT_GE(board->reports.size(), 3u);
}

TEST(Think, ClockBudgetOfTheSideToMove) {
  for (const char* fen : {KIWIPETE, BLACK_TO_MOVE}) {
    SCOPED_TRACE(fen);
    auto board = boardAt(fen);
    auto before = boardAt(fen);
    board->useBook = 0;
    board->setEngineSearchMode(MODE_CLOCK, 0, 0);
    unsigned side = board->currentNode.sideToMove;
    board->remainingTime[side] = 1000.0f;
    board->timeIncrement[side] = 10;
    board->remainingTime[1 - side] = 1e7f;
    board->timeIncrement[1 - side] = 100000;
    board->movesToGo = 0;
    u64 used = think(*board);
    EXPECT_EQ(board->timeLimit, 35000u);
    EXPECT_LT(used, 35000u + 5000u);
    expectPlayedMove(*board, *before, 0);
  }
}

TEST(Think, OverrunClockStillPlaysQuickly) {
  auto board = boardAt(KIWIPETE);
  auto before = boardAt(KIWIPETE);
  board->setEngineSearchMode(MODE_CLOCK, 0, 0);
  board->remainingTime[WHITE] = -1500.0f;
  board->movesToGo = 0;
  u64 used = think(*board);
  // The first iteration is finished whatever it takes, then the budget
  // ends the think.
  EXPECT_EQ(board->timeLimit, MIN_CLOCK_BUDGET);
  EXPECT_LT(used, 100000u);
  expectPlayedMove(*board, *before, 0);
  EXPECT_GE(board->reports.size(), 1u);
  EXPECT_LE(board->reports.size(), 2u);
}

TEST(Think, ClockRulesOneMoveAndMate) {
  // Exactly one legal move: played after iteration 1.
  auto only = boardAt(ONE_LEGAL_MOVE);
  only->setEngineSearchMode(MODE_CLOCK, 0, 0);
  only->movesToGo = 40;
  think(*only);
  ASSERT_EQ(only->reports.size(), 1u);
  EXPECT_STREQ(only->gameRecord[0].text, "Kxg2");
  EXPECT_EQ(only->finishCodes.back(), STOP_PLAY);

  // A mate found again in iteration 6 ends the think: the iteration to
  // come would be the seventh.
  auto mate = boardAt(MATE_IN_ONE);
  mate->setEngineSearchMode(MODE_CLOCK, 0, 0);
  mate->movesToGo = 40;
  think(*mate);
  EXPECT_EQ(mate->reports.size(), 6u);
  EXPECT_STREQ(mate->gameRecord[0].text, "Ra8");
  EXPECT_GT(mate->reports.back().line.moves[0].score, MATE_THRESHOLD);
}

TEST(Think, StopAbortAndInfinite) {
  // "stop" in infinite mode: the best move so far is played.
  auto board = boardAt(KIWIPETE);
  auto before = boardAt(KIWIPETE);
  board->setEngineSearchMode(MODE_INFINITE, 0, 0);
  board->onReport = [](RecordingBoard& b, int depth) {
    if (depth == 4) b.stopSearch = STOP_PLAY;
  };
  think(*board);
  EXPECT_EQ(board->reports.size(), 4u);
  expectPlayedMove(*board, *before, 0);
  EXPECT_EQ(board->lastMove, board->reports.back().line.moves[0].move);

  // An abort plays nothing and only reports the end.
  auto aborted = boardAt(KIWIPETE);
  aborted->setEngineSearchMode(MODE_DEPTH, 8, 0);
  aborted->onReport = [](RecordingBoard& b, int depth) {
    if (depth == 2) b.stopSearch = STOP_ABORT;
  };
  think(*aborted);
  EXPECT_EQ(aborted->gameLength, 0u);
  ASSERT_EQ(aborted->finishCodes.size(), 1u);
  EXPECT_EQ(aborted->finishCodes[0], STOP_ABORT);
  EXPECT_EQ(aborted->nextPlayers, 0);
  EXPECT_EQ(aborted->computerThinking, 0);
}

TEST(Think, TwoThinksInARowRecordTheirOwnTexts) {
  // With the knights on b8 and f6 both reaching d7, Black's move needs its
  // file, which only the list of Black's own position shows.
  const char* fen = "rnbqkb1r/ppp2ppp/3p1n2/4p3/4P3/3P1N2/PPP2PPP/RNBQKB1R w KQkq - 0 1";
  auto board = boardAt(fen);
  auto scratch = boardAt(fen);
  ChessMove white = generatedMove(*scratch, "b1c3");
  u64 firstKey = scratch->currentNode.hashKey;
  char text[] = "b1c3";
  ASSERT_EQ(scratch->setMoveSquare(text), 1);
  ChessMove black = generatedMove(*scratch, "b8d7");
  ASSERT_NE(black, 0u);
  // The probe needs the nodes in ascending order of key.
  u64 secondKey = scratch->currentNode.hashKey;
  for (u64 key : {std::min(firstKey, secondKey), std::max(firstKey, secondKey)})
    board->openingBook.addNode(key, key == firstKey ? white : black, 10, 50, 50);
  board->setEngineSearchMode(MODE_DEPTH, 3, 0);
  think(*board);
  think(*board);
  ASSERT_EQ(board->gameLength, 2u);
  EXPECT_STREQ(board->gameRecord[0].text, "Nc3");
  EXPECT_STREQ(board->gameRecord[1].text, "Nbd7");
  EXPECT_TRUE(board->reports.empty());
}

TEST(Think, BookAnswersWithoutSearch) {
  auto board = boardAt(START);
  ChessMove e4 = generatedMove(*board, "e2e4");
  ASSERT_TRUE(e4.isDoublePush());
  // The book's word lacks the double-push flag: the legal move it names is
  // played as generated.
  board->openingBook.addNode(board->currentNode.hashKey, ChessMove(e4 & ~MOVE_DOUBLE_PUSH), 5,
                             40, 30);
  board->setEngineSearchMode(MODE_DEPTH, 6, 0);
  board->stopSearch = STOP_NONE;
  board->ponderMove = generatedMove(*board, "d2d4");
  countNodes = 12345;
  think(*board);
  EXPECT_TRUE(board->reports.empty());
  EXPECT_EQ(countNodes, 0u);
  EXPECT_EQ(board->clears, 1);
  EXPECT_EQ(board->lastMove, e4);
  EXPECT_STREQ(board->gameRecord[0].text, "e4");
  EXPECT_EQ(board->ponderMove, 0u);
  ASSERT_EQ(board->finishCodes.size(), 1u);
  EXPECT_EQ(board->finishCodes[0], STOP_PLAY);
  EXPECT_EQ(board->nextPlayers, 1);
  EXPECT_EQ(board->currentNode.enPassantFile, 5);   // e-file + 1: the double push

  // En passant from the book, recorded without " e.p".
  auto ep = boardAt("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1");
  ChessMove exd6 = generatedMove(*ep, "e5d6");
  ASSERT_TRUE(exd6.isEnPassant());
  ep->openingBook.addNode(ep->currentNode.hashKey, exd6, 1, 0, 0);
  think(*ep);
  EXPECT_STREQ(ep->gameRecord[0].text, "exd6");
  EXPECT_TRUE(ep->reports.empty());
}

TEST(Think, BookIsSkippedWhenItsMoveIsIllegalOrTheThinkMustNotEnd) {
  auto board = boardAt(START);
  auto before = boardAt(START);
  // e2-e5 is no move of the position.
  board->openingBook.addNode(board->currentNode.hashKey, ChessMove::make(12, 36, PAWN), 5, 0, 0);
  board->setEngineSearchMode(MODE_DEPTH, 3, 0);
  think(*board);
  EXPECT_EQ(board->reports.size(), 3u);
  expectPlayedMove(*board, *before, 0);

  // Not in infinite analysis.
  auto infinite = boardAt(START);
  infinite->openingBook.addNode(infinite->currentNode.hashKey, generatedMove(*infinite, "e2e4"),
                                5, 0, 0);
  infinite->setEngineSearchMode(MODE_INFINITE, 0, 0);
  infinite->onReport = [](RecordingBoard& b, int depth) {
    if (depth == 2) b.stopSearch = STOP_PLAY;
  };
  think(*infinite);
  EXPECT_EQ(infinite->reports.size(), 2u);
  EXPECT_EQ(infinite->gameLength, 1u);

  // Not after 19 plies of game record.
  auto late = boardAt(START);
  const char* moves[] = {"g1f3", "g8f6", "f3g1", "f6g8"};
  for (int i = 0; i < 20; i++) {
    char text[5];
    strcpy(text, moves[i % 4]);
    ASSERT_EQ(late->setMoveSquare(text), 1);
  }
  late->openingBook.addNode(late->currentNode.hashKey, generatedMove(*late, "e2e4"), 5, 0, 0);
  late->setEngineSearchMode(MODE_DEPTH, 2, 0);
  think(*late);
  EXPECT_EQ(late->reports.size(), 2u);
}

namespace {

// Sets up the position of a ponder search: 1. e4 was the engine's move and
// the expected reply 1... e5 has been played on the board.
std::unique_ptr<RecordingBoard> ponderingBoard() {
  auto board = boardAt(START);
  char e4[] = "e2e4", e5[] = "e7e5";
  EXPECT_EQ(board->setMoveSquare(e4), 1);
  EXPECT_EQ(board->setMoveSquare(e5), 1);
  board->ponderEnabled = 1;
  board->nextPlayers = 0;
  return board;
}

}  // namespace

TEST(Ponder, StopTakesThePonderedMoveBack) {
  auto board = ponderingBoard();
  board->setEngineSearchMode(MODE_DEPTH, 6, 0);
  board->onReport = [](RecordingBoard& b, int depth) {
    EXPECT_EQ(b.ponderSearch, 1);
    if (depth == 2) b.stopSearch = STOP_PONDER;
  };
  think(*board, 1);
  EXPECT_EQ(board->reports.size(), 2u);
  ASSERT_EQ(board->finishCodes.size(), 1u);
  EXPECT_EQ(board->finishCodes[0], STOP_PONDER);
  EXPECT_EQ(board->gameLength, 1u);   // only 1. e4 is left
  EXPECT_EQ(board->currentNode.sideToMove, (u32)BLACK);
  EXPECT_EQ(board->nextPlayers, 1);   // from taking the move back only
  EXPECT_EQ(board->ponderSearch, 0);
  EXPECT_EQ(board->computerThinking, 0);
}

TEST(Ponder, HitTurnsItIntoANormalThink) {
  auto board = ponderingBoard();
  auto before = ponderingBoard();
  board->setEngineSearchMode(MODE_DEPTH, 5, 0);
  board->onReport = [](RecordingBoard& b, int depth) {
    if (depth == 2) b.ponderSearch = 0;
  };
  think(*board, 1);
  EXPECT_EQ(board->reports.size(), 5u);
  expectPlayedMove(*board, *before, 2);
  EXPECT_EQ(board->ponderSearch, 0);
}

TEST(Ponder, LimitsApplyOnlyAfterTheHit) {
  // A clock of 20 ms would allow half a millisecond; the ponder search
  // goes on regardless until the hit, after which the budget, measured
  // from the start of the ponder search, ends the think at once.
  auto board = ponderingBoard();
  auto before = ponderingBoard();
  board->setEngineSearchMode(MODE_CLOCK, 0, 0);
  board->remainingTime[WHITE] = 20.0f;
  board->movesToGo = 0;
  board->onReport = [](RecordingBoard& b, int depth) {
    if (depth == 6) b.ponderSearch = 0;
  };
  think(*board, 1);
  ASSERT_GE(board->reports.size(), 6u);
  EXPECT_LE(board->reports.size(), 7u);
  expectPlayedMove(*board, *before, 2);

  // Without pondering enabled the same think is an ordinary one.
  auto plain = ponderingBoard();
  plain->ponderEnabled = 0;
  plain->setEngineSearchMode(MODE_CLOCK, 0, 0);
  plain->remainingTime[WHITE] = 20.0f;
  plain->movesToGo = 0;
  think(*plain, 1);
  EXPECT_LT(plain->reports.size(), 6u);
}

// ---------------------------------------------------------------------------
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

// Runs the child for `scenario`; sends `command` once the child is waiting.
std::string runWaitingThink(const std::string& scenario, const std::string& command) {
  setenv(CHILD_ENV, scenario.c_str(), 1);
  testsupport::ChildProcess child("/proc/self/exe", {"--gtest_filter=PonderChild.WaitingThink"});
  unsetenv(CHILD_ENV);
  auto bound = child.readUntilPrefix("bound", testsupport::Millis(20000));
  EXPECT_TRUE(bound.has_value()) << child.stderrText();
  usleep(300000);
  child.writeLine(command);
  auto result = child.readUntilPrefix("result", testsupport::Millis(20000));
  EXPECT_TRUE(child.wait(testsupport::Millis(20000)).success());
  return result.value_or("");
}

}  // namespace

TEST(PonderChild, WaitingThink) {
  const char* scenario = getenv(CHILD_ENV);
  if (!scenario) GTEST_SKIP() << "runs only as the child of the waiting-think tests";
  bool infinite = strcmp(scenario, "infinite") == 0;
  auto board = infinite ? boardAt(START) : ponderingBoard();
  if (infinite) {
    board->setEngineSearchMode(MODE_INFINITE, 0, 0);
    board->maxDepth = 3;
  } else {
    board->setEngineSearchMode(MODE_DEPTH, 3, 0);
  }
  board->onReport = [](RecordingBoard&, int depth) {
    if (depth == 3) {
      printf("bound\n");
      fflush(stdout);
    }
  };
  board->onInput = [](RecordingBoard& b) {
    char line[256];
    if (readInputLine(line, sizeof line) < 0) {
      b.stopSearch = STOP_ABORT;
    } else if (strcmp(line, "stop") == 0) {
      b.stopSearch = b.ponderSearch ? STOP_PONDER : STOP_PLAY;
    } else if (strcmp(line, "ponderhit") == 0) {
      b.ponderSearch = 0;
    }
  };
  double cpu = cpuSeconds();
  u64 wall = think(*board, infinite ? 0 : 1);
  printf("result finish=%d reports=%zu record=%u cpu_ms=%.0f wall_ms=%llu\n",
         board->finishCodes.empty() ? -1 : board->finishCodes[0], board->reports.size(),
         board->gameLength, (cpuSeconds() - cpu) * 1000, (unsigned long long)wall / 1000);
  fflush(stdout);
}

namespace {

// Reads "name=value" from a result line.
long field(const std::string& result, const std::string& name) {
  size_t at = result.find(name + "=");
  return at == std::string::npos ? -1 : atol(result.c_str() + at + name.size() + 1);
}

}  // namespace

TEST(Ponder, WaitsAtTheDepthBoundUntilTheHit) {
  std::string result = runWaitingThink("ponder", "ponderhit");
  EXPECT_EQ(field(result, "finish"), STOP_PLAY) << result;
  EXPECT_EQ(field(result, "reports"), 3) << result;
  EXPECT_EQ(field(result, "record"), 3) << result;   // e4 e5 and the engine's move
  EXPECT_GE(field(result, "wall_ms"), 300) << result;
  EXPECT_LT(field(result, "cpu_ms"), 150) << result;  // no spinning while waiting
}

TEST(Ponder, WaitsAtTheDepthBoundUntilStopped) {
  std::string result = runWaitingThink("ponder", "stop");
  EXPECT_EQ(field(result, "finish"), STOP_PONDER) << result;
  EXPECT_EQ(field(result, "record"), 1) << result;   // the pondered move taken back
  EXPECT_GE(field(result, "wall_ms"), 300) << result;
}

TEST(Think, InfiniteWaitsAtTheDepthBoundUntilStopped) {
  std::string result = runWaitingThink("infinite", "stop");
  EXPECT_EQ(field(result, "finish"), STOP_PLAY) << result;
  EXPECT_EQ(field(result, "reports"), 3) << result;
  EXPECT_EQ(field(result, "record"), 1) << result;
  EXPECT_GE(field(result, "wall_ms"), 300) << result;
  EXPECT_LT(field(result, "cpu_ms"), 150) << result;
}
