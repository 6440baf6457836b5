// The UCI argument readers and the engine's protocol output, run in the
// test process on an engine object of its own.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/hashtable.h"
#include "protocol/chessboarduci.h"
#include "protocol/commandloop.h"
#include "protocol/uci.h"

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

class UciHandlers : public testing::Test {
protected:
  void SetUp() override {
    board = new ChessBoardUCI();
    board->init(2);
    board->newGame();
    guiMode = GUI_UCI;
    showthinking = 1;
    pondering = 0;
    pondernextmove = 0;
    useownbook = 0;
    strcpy(ownbook, DEFAULT_BOOK_NAME);
  }
  void TearDown() override {
    board->free();
    delete board;
    board = nullptr;
    guiMode = GUI_NONE;
    pondering = 0;
  }

  void go(const char* line) {
    std::string text(line);
    parseGoUCI(&text[0]);
  }
  bool position(const std::string& line) {
    std::string text(line);
    return parsePosition(&text[0]) != 0;
  }
  void option(const std::string& line) {
    std::string text(line);
    parseOptionUCI(&text[0]);
  }
  // The move of the legal list with these coordinates.
  ChessMove legal(const char* text) {
    board->buildLegalMoves();
    for (u32 i = 0; i < board->legalMoveCount; i++) {
      ChessMove m = board->legalMoves[i].move;
      unsigned from = (text[0] - 'a') + 8 * (text[1] - '1');
      unsigned to = (text[2] - 'a') + 8 * (text[3] - '1');
      unsigned promotion = text[4] == 'q' ? QUEEN : text[4] == 'n' ? KNIGHT : 0;
      if (m.from() == from && m.to() == to && m.promotion() == promotion) return m;
    }
    return 0;
  }
  static PLine line(std::initializer_list<ChessMove> moves, int score) {
    PLine pv;
    pv.count = 0;
    for (ChessMove m : moves) pv.moves[pv.count++] = {m, score};
    if (pv.count == 0) pv.moves[0] = {ChessMove(0), score};
    return pv;
  }
};

TEST_F(UciHandlers, GoStartsFromFreshIncrementsAndMovesToGo) {
  go("go wtime 61000 btime 59000 winc 1000 binc 2000 movestogo 12");
  EXPECT_EQ(board->searchMode, MODE_CLOCK);
  EXPECT_FLOAT_EQ(board->remainingTime[WHITE], 61000);
  EXPECT_FLOAT_EQ(board->remainingTime[BLACK], 59000);
  EXPECT_EQ(board->timeIncrement[WHITE], 1000);
  EXPECT_EQ(board->timeIncrement[BLACK], 2000);
  EXPECT_EQ(board->movesToGo, 12);

  go("go wtime 30000 btime 30000");
  EXPECT_EQ(board->timeIncrement[WHITE], 0);
  EXPECT_EQ(board->timeIncrement[BLACK], 0);
  EXPECT_EQ(board->movesToGo, 0);

  // Overrun clocks count as empty ones.
  go("go wtime -500 btime -1 winc -20 movestogo -4");
  EXPECT_FLOAT_EQ(board->remainingTime[WHITE], 0);
  EXPECT_FLOAT_EQ(board->remainingTime[BLACK], 0);
  EXPECT_EQ(board->timeIncrement[WHITE], 0);
  EXPECT_EQ(board->movesToGo, 0);
}

TEST_F(UciHandlers, GoNumbersAreReadAndConvertedIn64Bits) {
  go("go nodes 5000000000");
  EXPECT_EQ(board->searchMode, MODE_NODES);
  EXPECT_EQ(board->nodeLimit, 5000000000ull);
  go("go nodes -3");
  EXPECT_EQ(board->nodeLimit, 0u);
  go("go movetime 2000");
  EXPECT_EQ(board->searchMode, MODE_MOVETIME);
  EXPECT_EQ(board->moveTime, 2000000u);
  go("go movetime 5000000");  // beyond the 32-bit microseconds: held at the top
  EXPECT_EQ(board->moveTime, 4294967295u);
  go("go movetime 99999999999999999999999");
  EXPECT_EQ(board->moveTime, 4294967295u);
  go("go wtime 3000000000 btime 1");
  EXPECT_FLOAT_EQ(board->remainingTime[WHITE], 3e9f);
  go("go depth 99999999999");
  EXPECT_EQ(board->searchMode, MODE_DEPTH);
  EXPECT_EQ(board->depthLimit, 2147483647);
}

TEST_F(UciHandlers, GoModeRules) {
  // The last mode keyword wins; increments change no mode.
  go("go depth 5 movetime 100 winc 10");
  EXPECT_EQ(board->searchMode, MODE_MOVETIME);
  EXPECT_EQ(board->moveTime, 100000u);
  // Without a mode keyword the mode carries over...
  go("go depth 3");
  go("go ponder");
  EXPECT_EQ(pondernextmove, 1);
  EXPECT_EQ(board->searchMode, MODE_DEPTH);
  EXPECT_EQ(board->depthLimit, 3);
  go("go searchmoves e2e4");
  EXPECT_EQ(pondernextmove, 0);
  EXPECT_EQ(board->searchMode, MODE_DEPTH);
  // ...but never an infinite one: the new game's 5 s per move instead.
  go("go infinite");
  EXPECT_EQ(board->searchMode, MODE_INFINITE);
  go("go ponder");
  EXPECT_EQ(board->searchMode, MODE_MOVETIME);
  EXPECT_EQ(board->moveTime, 5000000u);
  // A value keyword needs its blank; with the blank and nothing after, 0.
  go("go depth 7");
  go("go depth");
  EXPECT_EQ(board->depthLimit, 7);
  go("go depth ");
  EXPECT_EQ(board->depthLimit, 0);
  go("go depth  9");  // the empty value counts, "9" is a token of its own
  EXPECT_EQ(board->depthLimit, 0);
  go("go  depth 9");
  EXPECT_EQ(board->depthLimit, 9);
  // Skipped arguments that begin with a keyword are read as that keyword.
  go("go searchmoves depth 4");
  EXPECT_EQ(board->depthLimit, 4);
}

TEST_F(UciHandlers, OptionsSetFlagsOnly) {
  option("setoption name Ponder value true");
  EXPECT_EQ(pondering, 1);
  EXPECT_EQ(board->ponderEnabled, 1);
  EXPECT_EQ(board->computerThinking, 0);
  option("setoption name Ponder value true ");  // not exactly "true"
  EXPECT_EQ(pondering, 0);
  EXPECT_EQ(board->ponderEnabled, 0);

  // The table is rebuilt with a size it accepts; the game stays.
  ASSERT_TRUE(position("position startpos moves e2e4"));
  option("setoption name Hash value 1");
  u32 smallest = board->currentNode.hashTable.size;
  EXPECT_GT(smallest, 0u);
  option("setoption name Hash value -1000");
  EXPECT_EQ(board->currentNode.hashTable.size, smallest);
  option("setoption name Hash value 4");
  EXPECT_EQ(board->currentNode.hashTable.size, 2 * smallest);
  EXPECT_EQ(board->curMoveIndex, 1u);
  EXPECT_EQ(board->currentNode.sideToMove, (u32)BLACK);

  // The book file name is kept to its 255 characters.
  option("setoption name Book File value " + std::string(400, 'b'));
  EXPECT_EQ(strlen(ownbook), 255u);
  option("setoption name Book File value my book.bin");
  EXPECT_STREQ(ownbook, "my book.bin");
}

TEST_F(UciHandlers, InfoLinesCarryLegalLinesWithPromotionLetters) {
  ASSERT_TRUE(position("position fen 4k3/P7/8/8/8/8/8/4K3 w - - 0 1"));
  ChessMove promote = legal("a7a8q");
  ChessMove under = legal("a7a8n");
  ASSERT_TRUE(promote && under);
  ChessMove e8d7 = ChessMove::make(60, 51, KING);
  ChessMove bogus = ChessMove::make(4, 36, KING);  // e1e5: no such move

  CaptureStdout();
  PLine pv = line({promote, e8d7}, 850);
  board->onComputerThinkPV(4, pv, 12345, 1000000);
  pv = line({under, e8d7, bogus, e8d7}, -12);
  board->onComputerThinkPV(5, pv, 5000, 0);  // no time yet: nps 0
  pv = line({}, 0);
  board->onComputerThinkPV(1, pv, 0, 0);
  EXPECT_EQ(GetCapturedStdout(),
            "info depth 4 score cp 850 time 1000 nodes 12345 nps 12345 pv a7a8q e8d7 \n"
            "info depth 5 score cp -12 time 0 nodes 5000 nps 0 pv a7a8n e8d7 \n"
            "info depth 1 score cp 0 time 0 nodes 0 nps 0 pv \n");

  // Mate scores as moves to the mate, negative when the engine is mated.
  CaptureStdout();
  pv = line({promote}, 31999);
  board->onComputerThinkPV(5, pv, 100, 2000);
  pv = line({promote}, -31996);
  board->onComputerThinkPV(6, pv, 3000000000ull, 1.5);
  EXPECT_EQ(GetCapturedStdout(),
            "info depth 5 score mate 1 time 2 nodes 100 nps 50000 pv a7a8q \n"
            "info depth 6 score mate -2 time 0 nodes 3000000000 nps 2147483647 pv a7a8q \n");

  // Nothing with thinking off, and nothing outside a protocol.
  showthinking = 0;
  CaptureStdout();
  board->onComputerThinkPV(5, pv, 100, 2000);
  board->onSearchRootMove(promote, 1);
  showthinking = 1;
  guiMode = GUI_NONE;
  board->onComputerThinkPV(5, pv, 100, 2000);
  guiMode = GUI_UCI;
  board->onSearchRootMove(under, 3);
  EXPECT_EQ(GetCapturedStdout(), "info currmove a7a8n currmovenumber 3\n");
}

TEST_F(UciHandlers, ConsoleLinesOfATestSuiteRun) {
  board->testSuiteMode = 1;
  ChessMove e2e4 = legal("e2e4");
  ASSERT_TRUE(position("position startpos moves e2e4"));
  ChessMove e7e5 = legal("e7e5");
  ASSERT_TRUE(position("position startpos"));
  CaptureStdout();
  PLine pv = line({e2e4, e7e5}, 25);
  board->onComputerThinkPV(3, pv, 1500, 61500000);
  pv = line({e2e4}, -150);
  board->onComputerThinkPV(4, pv, 1500, 0);
  pv = line({e2e4}, 31995);
  board->onComputerThinkPV(9, pv, 7, 1000);
  board->onComputerFinishPlaying(STOP_PLAY);  // no move line in a test suite
  EXPECT_EQ(GetCapturedStdout(),
            " 3 +0.25 01:01:500     1500 0.02 e2-e4 e7-e5 \n"
            " 4 -1.50 00:00:000     1500 0.00 e2-e4 \n"
            " 9 +M3 00:00:001        7 7.00 e2-e4 \n");
  board->testSuiteMode = 0;
}

TEST_F(UciHandlers, BestMoveIsTheMoveTheThinkPlayed) {
  // A played move, with its expected reply when pondering is on and the
  // reply is legal after it.
  board->onComputerStartPlaying();
  char e2e4[] = "e2e4";
  ASSERT_TRUE(board->setMoveSquare(e2e4));
  board->ponderMove = legal("e7e5");
  pondering = 1;
  CaptureStdout();
  board->onComputerFinishPlaying(STOP_PLAY);
  EXPECT_EQ(GetCapturedStdout(), "bestmove e2e4 ponder e7e5\n");
  EXPECT_EQ(movePonder, board->ponderMove);

  board->onComputerStartPlaying();
  char e7e5[] = "e7e5";
  ASSERT_TRUE(board->setMoveSquare(e7e5));
  board->ponderMove = ChessMove::make(52, 36, PAWN);  // not legal after e7e5
  CaptureStdout();
  board->onComputerFinishPlaying(STOP_PLAY);
  EXPECT_EQ(GetCapturedStdout(), "bestmove e7e5\n");
  EXPECT_EQ(movePonder, EmptyMove);

  // Nothing played: never the opponent's last move, but "0000" when the
  // think has no move of its own.
  board->onComputerStartPlaying();
  board->currentNode.pvLines[0].count = 0;
  CaptureStdout();
  board->onComputerFinishPlaying(STOP_PLAY);
  EXPECT_EQ(GetCapturedStdout(), "bestmove 0000\n");

  // ...or the first move of its line when the record could not take it.
  board->currentNode.pvLines[0] = line({legal("g1f3")}, 0);
  CaptureStdout();
  board->onComputerFinishPlaying(STOP_PLAY);
  EXPECT_EQ(GetCapturedStdout(), "bestmove g1f3\n");
}

TEST_F(UciHandlers, AbortWritesNothingAndSetsUpAPendingNewGame) {
  ASSERT_TRUE(position("position startpos moves e2e4"));
  board->onComputerStartPlaying();
  CaptureStdout();
  board->onComputerFinishPlaying(STOP_ABORT);
  EXPECT_EQ(GetCapturedStdout(), "");
  EXPECT_EQ(board->curMoveIndex, 1u);

  asknewgame = 1;
  CaptureStdout();
  board->onComputerFinishPlaying(STOP_ABORT);
  EXPECT_EQ(GetCapturedStdout(), "");
  EXPECT_EQ(asknewgame, 0);
  EXPECT_EQ(board->curMoveIndex, 0u);
  EXPECT_EQ(board->currentNode.sideToMove, (u32)WHITE);
}

TEST_F(UciHandlers, PerftTableOfTheEngineObject) {
  CaptureStdout();
  board->doPerft(2);
  std::string out = GetCapturedStdout();
  EXPECT_EQ(out.substr(0, 6), "depth ");
  EXPECT_NE(out.find("\n 1.           20            0"), std::string::npos) << out;
  EXPECT_NE(out.find("\n 2.          400            0"), std::string::npos) << out;
}

}  // namespace
