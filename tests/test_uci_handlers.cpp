// The UCI argument readers and the engine's protocol output, run in the
// test process on an engine object of its own.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

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
    pondering = pondernextmove = useownbook = 0;
    strcpy(ownbook, DEFAULT_BOOK_NAME);
  }
  void TearDown() override {
    board->free();
    delete board;
    board = nullptr;
    guiMode = GUI_NONE;
    pondering = 0;
  }

  void go(std::string line) { parseGoUCI(&line[0]); }
  bool position(std::string line) { return parsePosition(&line[0]) != 0; }
  void option(std::string line) { parseOptionUCI(&line[0]); }
  // The move of the legal list with these coordinates.
  ChessMove legal(const std::string& text) {
    board->buildLegalMoves();
    for (u32 i = 0; i < board->legalMoveCount; i++) {
      char t[MOVE_TEXT_SIZE];
      coordinateText(board->legalMoves[i].move, t);
      if (text == t) return board->legalMoves[i].move;
    }
    return 0;
  }
  static PLine line(std::initializer_list<ChessMove> moves, int score) {
    PLine pv;
    pv.count = 0;
    for (ChessMove m : moves) pv.moves[pv.count++] = {m, score};
    return pv;
  }
};

TEST_F(UciHandlers, GoNumbersAreReadIn64BitsAndHeldToTheirFields) {
  go("go wtime 3000000000 btime -500 winc -20 binc 2000 movestogo 12");
  EXPECT_EQ(board->searchMode, MODE_CLOCK);
  EXPECT_FLOAT_EQ(board->remainingTime[WHITE], 3e9f);
  EXPECT_FLOAT_EQ(board->remainingTime[BLACK], 0);  // an overrun clock is empty
  EXPECT_EQ(board->timeIncrement[WHITE], 0);
  EXPECT_EQ(board->timeIncrement[BLACK], 2000);
  EXPECT_EQ(board->movesToGo, 12);
  go("go nodes 5000000000");
  EXPECT_EQ(board->nodeLimit, 5000000000ull);
  go("go nodes -3");
  EXPECT_EQ(board->nodeLimit, 0u);
  go("go movetime 2000");
  EXPECT_EQ(board->moveTime, 2000000u);
  go("go movetime 99999999999999999999999");  // beyond 32-bit microseconds
  EXPECT_EQ(board->moveTime, 4294967295u);
  go("go depth 99999999999");
  EXPECT_EQ(board->depthLimit, 2147483647);
}

TEST_F(UciHandlers, GoModeCarriesOverButNeverAnInfiniteOne) {
  go("go depth 5 movetime 100 winc 10");  // the last mode keyword wins
  EXPECT_EQ(board->searchMode, MODE_MOVETIME);
  go("go depth 3");
  go("go ponder");
  EXPECT_EQ(pondernextmove, 1);
  EXPECT_EQ(board->searchMode, MODE_DEPTH);
  EXPECT_EQ(board->depthLimit, 3);
  go("go depth");  // no value without its blank: the mode stays
  EXPECT_EQ(board->depthLimit, 3);
  go("go searchmoves e2e4");
  EXPECT_EQ(pondernextmove, 0);
  EXPECT_EQ(board->searchMode, MODE_DEPTH);
  // After "infinite", a "go" without a mode gets the new game's 5 s a move.
  go("go infinite");
  EXPECT_EQ(board->searchMode, MODE_INFINITE);
  go("go ponder");
  EXPECT_EQ(board->searchMode, MODE_MOVETIME);
  EXPECT_EQ(board->moveTime, 5000000u);
}

TEST_F(UciHandlers, PositionPlaysMovesUpToTheFirstRefusedOne) {
  ASSERT_FALSE(position("position startpos moves e2e4 e7e5 e1e3 g1f3"));
  EXPECT_EQ(board->curMoveIndex, 2u);
  EXPECT_EQ(board->currentNode.sideToMove, (u32)WHITE);
  ASSERT_TRUE(position("position fen 4k3/8/8/8/8/8/4P3/4K3 w - - 0 1 moves e2e4 e8d7"));
  EXPECT_EQ(board->curMoveIndex, 2u);
  const u64 key = board->currentNode.hashKey;
  // A bad or malformed line leaves the position as it was.
  for (const std::string& bad :
       {std::string("position fen 8/8/8/8 w - - 0 1"), std::string("position fen"),
        std::string("position"), std::string("position startposmoves e2e4"),
        "position fen " + std::string(300, 'x') + " w - - 0 1"}) {
    EXPECT_FALSE(position(bad)) << bad;
    EXPECT_EQ(board->currentNode.hashKey, key) << bad;
  }
}

TEST_F(UciHandlers, OptionsSetFlagsAndTablesOnly) {
  option("setoption name Ponder value true");
  EXPECT_EQ(pondering, 1);
  EXPECT_EQ(board->ponderEnabled, 1);
  EXPECT_EQ(board->computerThinking, 0);
  option("setoption name Ponder value true ");  // not exactly "true"
  EXPECT_EQ(pondering, 0);
  EXPECT_EQ(board->ponderEnabled, 0);
  // The table is rebuilt at a size it accepts; the game stays.
  ASSERT_TRUE(position("position startpos moves e2e4"));
  option("setoption name Hash value 1");
  u32 smallest = board->currentNode.hashTable.size;
  EXPECT_GT(smallest, 0u);
  option("setoption name Hash value -1000");
  EXPECT_EQ(board->currentNode.hashTable.size, smallest);
  option("setoption name Hash value 4");
  EXPECT_EQ(board->currentNode.hashTable.size, 2 * smallest);
  EXPECT_EQ(board->curMoveIndex, 1u);
  // The book file name is kept to its 255 characters.
  option("setoption name Book File value " + std::string(400, 'b'));
  EXPECT_EQ(strlen(ownbook), 255u);
  option("setoption name Book File value my book.bin");
  EXPECT_STREQ(ownbook, "my book.bin");
}

TEST_F(UciHandlers, ThinkingLinesNameOnlyLegalMoves) {
  ASSERT_TRUE(position("position fen 4k3/P7/8/8/8/8/8/4K3 w - - 0 1"));
  ChessMove promote = legal("a7a8q"), under = legal("a7a8n");
  ASSERT_TRUE(promote && under);
  ChessMove e8d7 = ChessMove::make(60, 51, KING);
  ChessMove bogus = ChessMove::make(4, 36, KING);  // e1e5: no such move

  // The line is cut before its first illegal move; no time yet gives nps 0;
  // mate scores count moves, negative when the engine is mated.
  CaptureStdout();
  PLine pv = line({promote, e8d7}, 850);
  board->onComputerThinkPV(4, pv, 12345, 1000000);
  pv = line({under, e8d7, bogus, e8d7}, -12);
  board->onComputerThinkPV(5, pv, 5000, 0);
  pv = line({promote}, 31999);
  board->onComputerThinkPV(5, pv, 100, 2000);
  pv = line({promote}, -31996);
  board->onComputerThinkPV(6, pv, 3000000000ull, 1.5);
  EXPECT_EQ(GetCapturedStdout(),
            "info depth 4 score cp 850 time 1000 nodes 12345 nps 12345 pv a7a8q e8d7 \n"
            "info depth 5 score cp -12 time 0 nodes 5000 nps 0 pv a7a8n e8d7 \n"
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

  // The console form of a test-suite run, which writes no move line.
  board->testSuiteMode = 1;
  CaptureStdout();
  pv = line({promote, e8d7, bogus}, 31995);
  board->onComputerThinkPV(9, pv, 1500, 61500000);
  board->onComputerFinishPlaying(STOP_PLAY);
  EXPECT_EQ(GetCapturedStdout(), " 9 +M3 01:01:500     1500 0.02 a7-a8=Q Ke8-d7 \n");
}

TEST_F(UciHandlers, BestMoveIsTheMoveTheThinkPlayed) {
  // The move played, with its expected reply when pondering is on and the
  // reply is legal after it.
  pondering = 1;
  board->onComputerStartPlaying();
  ASSERT_TRUE(position("position startpos moves e2e4"));
  board->ponderMove = legal("e7e5");
  CaptureStdout();
  board->onComputerFinishPlaying(STOP_PLAY);
  EXPECT_EQ(movePonder, board->ponderMove);
  board->onComputerStartPlaying();
  ASSERT_TRUE(position("position startpos moves e2e4 e7e5"));
  board->ponderMove = ChessMove::make(52, 36, PAWN);  // e7e5 again: not legal now
  board->onComputerFinishPlaying(STOP_PLAY);
  EXPECT_EQ(movePonder, EmptyMove);
  // Nothing played: never the opponent's last move, but the first move of
  // the think's line, or "0000" when it has none.
  board->onComputerStartPlaying();
  board->currentNode.pvLines[0] = line({legal("g1f3")}, 0);
  board->onComputerFinishPlaying(STOP_PLAY);
  board->currentNode.pvLines[0].count = board->savedPV.count = 0;
  board->onComputerFinishPlaying(STOP_PLAY);
  // An aborted think writes nothing; a new game asked for meanwhile is set up.
  board->onComputerFinishPlaying(STOP_ABORT);
  EXPECT_EQ(board->curMoveIndex, 2u);
  asknewgame = 1;
  board->onComputerFinishPlaying(STOP_ABORT);
  EXPECT_EQ(asknewgame, 0);
  EXPECT_EQ(board->curMoveIndex, 0u);
  EXPECT_EQ(GetCapturedStdout(),
            "bestmove e2e4 ponder e7e5\nbestmove e7e5\nbestmove g1f3\nbestmove 0000\n");
}

}  // namespace
