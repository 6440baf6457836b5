// The engine object's life (newGame, a second init, free, search modes) and
// the game record with its move entry: coordinates, take-back and stepping,
// the full record, and two-click entry.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "tests/support/test_board.h"

namespace {

// The parts of the engine object that move entry may change.
std::string recordState(const TestBoard& b) {
  std::ostringstream s;
  s << b.currentNode.hashKey << " length " << b.gameLength << " index " << b.curMoveIndex
    << " legal " << b.legalMoveCount << " undo " << b.currentNode.undoCount << " keys "
    << b.currentNode.hashHistoryCount << " captured " << b.capturedCount[0] << "/"
    << b.capturedCount[1] << " last " << b.lastMove.move;
  return s.str();
}

}  // namespace

TEST(EngineObject, NewGameForgetsTheGame) {
  auto board = newTestBoard();
  const std::string start = recordState(*board);
  ASSERT_TRUE(playMoves(*board, {"e2e4", "d7d5", "e4d5"}));
  board->remainingTime[0] = 5.0f;
  board->searchMode = MODE_DEPTH;
  board->killer2[7] = 99;
  board->historyTable[0][1][2] = 5;
  board->useBook = 0;
  contemptFactor = 25;
  board->newGame();
  EXPECT_EQ(recordState(*board), start);
  EXPECT_EQ(board->remainingTime[0], 300000.0f);
  EXPECT_EQ(board->searchMode, MODE_MOVETIME);
  EXPECT_EQ(board->moveTime, 5000000u);
  EXPECT_EQ(board->killer2[7], 0u);
  EXPECT_EQ(board->historyTable[0][1][2], 0u);
  EXPECT_EQ(contemptFactor, 0);
  EXPECT_EQ(board->useBook, 0);  // the book switch is not touched
}

TEST(EngineObject, SecondInitKeepsTheMovesOnTheBoardAndFreeReleases) {
  auto board = newTestBoard();
  const u64 startKey = board->currentNode.hashKey;
  ASSERT_TRUE(playMoves(*board, {"e2e4", "e7e5"}));
  ChessMoveUndo* stack = board->currentNode.undoStack;
  EXPECT_EQ(board->init(4), 1);
  EXPECT_EQ(board->currentNode.undoStack, stack);
  EXPECT_EQ(board->takeBack(), 1);
  EXPECT_EQ(board->takeBack(), 1);
  EXPECT_EQ(board->currentNode.hashKey, startKey);

  // free stops a running think and releases the stacks and the table.
  board->computerThinking = 1;
  board->ponderEnabled = 1;
  board->ponderMove = 123;
  board->free();
  EXPECT_EQ(board->stopSearch, STOP_ABORT);
  EXPECT_EQ(board->ponderEnabled, 0);
  EXPECT_EQ(board->ponderMove, 0u);
  EXPECT_EQ(board->currentNode.undoStack, nullptr);
  EXPECT_EQ(board->currentNode.hashTable.table, nullptr);
}

TEST(EngineObject, AddPieceAndNodeLimit) {
  auto board = boardAt("4k3/8/8/8/8/8/8/4K3 w - - 0 1");
  ChessBoardNode& n = board->currentNode;
  board->addPiece(3, 3, QUEEN, WHITE);  // d4
  board->addPiece(8, 0, QUEEN, WHITE);  // off the board: nothing
  EXPECT_EQ(n.pieceArray[sq("d4")], QUEEN);
  EXPECT_TRUE(n.bbPiece[WHITE * 7 + QUEEN] & n.bbAllPiece & (1ULL << sq("d4")));
  EXPECT_EQ(n.hashKey, n.createHashKey());
  board->setEngineSearchMode(MODE_NODES, -1, 0);
  EXPECT_EQ(board->nodeLimit, ~0ULL);    // widened with its sign
  board->setEngineSearchMode(6, 77, 0);  // an unknown mode changes nothing
  EXPECT_EQ(board->searchMode, MODE_NODES);
}

TEST(GameRecord, CoordinateEntry) {
  auto board = newTestBoard();
  ASSERT_TRUE(playMoves(*board, {"e2e4"}));
  EXPECT_EQ(board->gameLength, 1u);
  EXPECT_EQ(board->curMoveIndex, 1u);
  EXPECT_EQ(board->lastMove, board->gameRecord[0].move);
  EXPECT_EQ(coord(board->lastMove), "e2e4");
  EXPECT_TRUE(board->lastMove.isDoublePush());
  EXPECT_EQ(board->legalMoveCount, 20u);  // Black's moves
  const std::string before = recordState(*board);
  for (const char* text : {"e2e5", "e9e4", "i2i4", "e2e", "", "e", "e7e5xx", "e7e5q", "e7e5Q",
                           "E7E5", "\x80\x80\x80\x80", "e1e2"}) {
    EXPECT_FALSE(playMoves(*board, {text})) << text;
    EXPECT_EQ(recordState(*board), before) << text;
  }
  // Promotions: a queen without a letter, a letter in either case; a king
  // refused.
  board = boardAt("4k3/1P6/8/8/8/8/8/4K3 w - - 0 1");
  EXPECT_FALSE(playMoves(*board, {"b7b8k"}));
  EXPECT_FALSE(playMoves(*board, {"b7b8K"}));
  EXPECT_FALSE(playMoves(*board, {"e1e2q"}));
  ASSERT_TRUE(playMoves(*board, {"b7b8"}));
  EXPECT_EQ(board->lastMove.promotion(), (unsigned)QUEEN);
  for (const char* knight : {"b7b8n", "b7b8N"}) {
    board = boardAt("4k3/1P6/8/8/8/8/8/4K3 w - - 0 1");
    ASSERT_TRUE(playMoves(*board, {knight}));
    EXPECT_EQ(board->currentNode.pieceArray[sq("b8")], KNIGHT);
  }
  // A move into check is refused: the bishop is pinned.
  board = boardAt("4r1k1/8/8/8/8/8/4B3/4K3 w - - 0 1");
  EXPECT_FALSE(playMoves(*board, {"e2d3"}));
  EXPECT_EQ(board->gameLength, 0u);
}

TEST(GameRecord, TakeBackAndStepping) {
  auto board = newTestBoard();
  const u64 start = board->currentNode.hashKey;
  ASSERT_TRUE(playMoves(*board, {"e2e4", "d7d5"}));
  const u64 beforeCapture = board->currentNode.hashKey;
  ASSERT_TRUE(playMoves(*board, {"e4d5"}));
  EXPECT_EQ(board->capturedCount[BLACK], 1u);
  EXPECT_EQ(board->capturedPieces[BLACK][0], PAWN);
  // Stepping back and forth keeps the record; a new move drops what follows.
  EXPECT_EQ(board->previousMove(), 1);
  EXPECT_EQ(board->previousMove(), 1);
  EXPECT_EQ(board->curMoveIndex, 1u);
  EXPECT_EQ(board->nextMove(), 1);
  EXPECT_EQ(board->nextMove(), 1);
  EXPECT_EQ(board->nextMove(), 0);
  EXPECT_EQ(board->gameLength, 3u);
  EXPECT_EQ(board->takeBack(), 1);
  EXPECT_EQ(board->capturedCount[BLACK], 0u);
  EXPECT_EQ(board->currentNode.pieceArray[sq("d5")], PAWN);
  EXPECT_EQ(board->currentNode.hashKey, beforeCapture);
  EXPECT_EQ(board->gameLength, 2u);
  EXPECT_EQ(board->legalMoveCount, 31u);  // White's moves after 1.e4 d5
  EXPECT_EQ(board->previousMove(), 1);
  ASSERT_TRUE(playMoves(*board, {"e7e5"}));
  EXPECT_EQ(board->gameLength, 2u);
  EXPECT_EQ(board->nextMove(), 0);
  EXPECT_EQ(board->takeBack(), 1);
  EXPECT_EQ(board->takeBack(), 1);
  EXPECT_EQ(board->takeBack(), 0);  // nothing left
  EXPECT_EQ(board->currentNode.hashKey, start);
  EXPECT_EQ(board->lastMove, 0u);
}

TEST(GameRecord, CountsLegalMovesAndMates) {
  const struct {
    const char* fen;
    unsigned legal;
    int mate;
  } cases[] = {{"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 20, 0},
               {"rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3", 0, 1},
               {"k7/8/1K6/8/8/8/7Q/8 b - - 0 1", 0, 0}};  // stalemate
  for (const auto& c : cases) {
    EXPECT_EQ(boardAt(c.fen)->countLegalMoves(), c.legal) << c.fen;
    EXPECT_EQ(boardAt(c.fen)->isMate(), c.mate) << c.fen;
  }
}

// The record holds 4096 plies; the next is refused and changes nothing, a
// search line still fits behind it, and the game goes on after a take-back.
TEST(GameRecord, FullRecordRefusesMoves) {
  auto board = newTestBoard();
  const char* cycle[] = {"g1f3", "g8f6", "f3g1", "f6g8"};
  for (unsigned i = 0; i < MAX_GAME_LENGTH; i++)
    ASSERT_TRUE(playMoves(*board, {cycle[i % 4]})) << i;
  const std::string full = recordState(*board);
  EXPECT_FALSE(playMoves(*board, {"e2e4"}));
  EXPECT_EQ(recordState(*board), full);
  EXPECT_EQ(board->searchAllMoves(&board->currentNode, 4, 0), 197281u);
  EXPECT_EQ(board->takeBack(), 1);
  EXPECT_TRUE(playMoves(*board, {"f6g8"}));
  EXPECT_EQ(board->gameLength, MAX_GAME_LENGTH);
}

TEST(GameRecord, TwoClickEntry) {
  auto board = newTestBoard();
  // (file, rank) clicks and their answers: 0 picked or played, 1 no move,
  // 2 an enemy piece, 6 the same square again (cancelled).
  const int clicks[][3] = {{4, 4, 0}, {4, 6, 2}, {4, 1, 0}, {4, 1, 6},
                           {9, 1, 1}, {4, 1, 0}, {4, 4, 1}};
  for (const auto& c : clicks) EXPECT_EQ(board->setMove(c[0], c[1]), c[2]) << c[0] << c[1];
  EXPECT_EQ(board->gameLength, 0u);
  // Fool's mate by clicks: the last move is written with "#".
  const int mate[][2] = {{5, 1}, {5, 2}, {4, 6}, {4, 4}, {6, 1}, {6, 3}, {3, 7}, {7, 3}};
  for (const auto& c : mate) ASSERT_EQ(board->setMove(c[0], c[1]), 0);
  EXPECT_STREQ(board->gameRecord[0].text, "f3");
  EXPECT_STREQ(board->gameRecord[3].text, "Qh4#");
  EXPECT_EQ(board->currentNode.nodeState, NODE_MATE);

  // A capture that promotes waits for its piece, then is written with "+".
  board = boardAt("3r3k/4P3/8/8/8/8/8/4K3 w - - 0 1");
  EXPECT_EQ(board->setMove(4, 6), 0);
  EXPECT_EQ(board->setMove(3, 7), 0);
  EXPECT_EQ(board->promotionPending, 1);
  EXPECT_EQ(board->gameLength, 0u);
  EXPECT_EQ(board->setMove(ROOK, 0), 0);
  EXPECT_STREQ(board->gameRecord[0].text, "exd8=R+");
  EXPECT_EQ(board->capturedCount[BLACK], 1u);

  // A move into check is refused and its capture taken off the list: the
  // bishop on d2 is pinned by the queen on a5.
  board = boardAt("4k3/8/8/q7/8/4n3/3B4/4K3 w - - 0 1");
  ASSERT_EQ(board->setMove(3, 1), 0);
  EXPECT_EQ(board->setMove(4, 2), 1);
  EXPECT_EQ(board->capturedCount[BLACK], 0u);
  EXPECT_EQ(board->gameLength, 0u);
}
