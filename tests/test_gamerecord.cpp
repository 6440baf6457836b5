// The engine object's life (init, newGame, free, the display copy, search
// modes) and the game record with its move entry.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/support/test_board.h"

namespace {

std::unique_ptr<TestBoard> boardAt(const char* fen) {
  auto board = newTestBoard();
  std::string text(fen);
  EXPECT_EQ(board->setFENPosition(&text[0]), 1) << fen;
  return board;
}

int play(TestBoard& board, const char* move) {
  std::string text(move);
  return board.setMoveSquare(&text[0]);
}

// The parts of the engine object that move entry may change.
struct Snapshot {
  u64 key;
  u8 pieces[64];
  u32 gameLength, curMoveIndex, legalMoveCount, undoCount, historyCount;
  u32 captured[2];
  ChessMove lastMove;
  explicit Snapshot(const TestBoard& b)
      : key(b.currentNode.hashKey),
        gameLength(b.gameLength),
        curMoveIndex(b.curMoveIndex),
        legalMoveCount(b.legalMoveCount),
        undoCount(b.currentNode.undoCount),
        historyCount(b.currentNode.hashHistoryCount),
        captured{b.capturedCount[0], b.capturedCount[1]},
        lastMove(b.lastMove) {
    memcpy(pieces, b.currentNode.pieceArray, 64);
  }
  bool operator==(const Snapshot& o) const {
    return key == o.key && memcmp(pieces, o.pieces, 64) == 0 && gameLength == o.gameLength &&
           curMoveIndex == o.curMoveIndex && legalMoveCount == o.legalMoveCount &&
           undoCount == o.undoCount && historyCount == o.historyCount &&
           captured[0] == o.captured[0] && captured[1] == o.captured[1] &&
           lastMove == o.lastMove;
  }
};

}  // namespace

// ---- engine object ----

TEST(EngineObject, NewGameSetsTheStartPositionAndDefaults) {
  auto board = newTestBoard();
  ChessBoardNode& n = board->currentNode;
  EXPECT_EQ(n.sideToMove, (u32)WHITE);
  EXPECT_EQ(n.castleRights, 15);
  EXPECT_EQ(n.nodeState, NODE_NORMAL);
  EXPECT_EQ(board->legalMoveCount, 20u);
  EXPECT_EQ(n.material[WHITE], 4075);
  EXPECT_EQ(n.material[BLACK], 4075);
  EXPECT_EQ(n.phaseSum[WHITE], 12);
  EXPECT_EQ(n.kingSquare[WHITE], 4);
  EXPECT_EQ(n.kingSquare[BLACK], 60);
  EXPECT_EQ(n.pieceCount[WHITE * 7 + PAWN], 8);
  EXPECT_EQ(n.pieceCount[BLACK * 7 + QUEEN], 1);
  EXPECT_EQ(n.hashKey, n.createHashKey());
  // The colour-mirrored start position has equal piece-square sums.
  EXPECT_EQ(n.pstMiddlegame[WHITE], n.pstMiddlegame[BLACK]);
  EXPECT_EQ(n.pstEndgame[WHITE], n.pstEndgame[BLACK]);

  // A finished game is forgotten; the book switch is not touched.
  ASSERT_EQ(play(*board, "e2e4"), 1);
  ASSERT_EQ(play(*board, "d7d5"), 1);
  ASSERT_EQ(play(*board, "e4d5"), 1);
  board->remainingTime[0] = 5.0f;
  board->searchMode = MODE_DEPTH;
  board->killer2[7] = 99;
  board->historyTable[0][1][2] = 5;
  board->useBook = 0;
  contemptFactor = 25;
  board->newGame();
  EXPECT_EQ(board->gameLength, 0u);
  EXPECT_EQ(board->curMoveIndex, 0u);
  EXPECT_EQ(board->capturedCount[BLACK], 0u);
  EXPECT_EQ(board->lastMove, 0u);
  EXPECT_EQ(board->remainingTime[0], 300000.0f);
  EXPECT_EQ(board->remainingTime[1], 300000.0f);
  EXPECT_EQ(board->searchMode, MODE_MOVETIME);
  EXPECT_EQ(board->moveTime, 5000000u);
  EXPECT_EQ(board->killer2[7], 0u);
  EXPECT_EQ(board->historyTable[0][1][2], 0u);
  EXPECT_EQ(board->useBook, 0);
  EXPECT_EQ(contemptFactor, 0);
  EXPECT_EQ(board->currentNode.undoCount, 0u);
}

TEST(EngineObject, SecondInitKeepsKeysAndTheMovesOnTheBoard) {
  auto board = newTestBoard();
  u64 startKey = board->currentNode.hashKey;
  ASSERT_EQ(play(*board, "e2e4"), 1);
  ASSERT_EQ(play(*board, "e7e5"), 1);
  ChessMoveUndo* stack = board->currentNode.undoStack;
  board->currentNode.hashTable.addNode(board->currentNode.hashKey, 0, 8, HASH_EXACT, 10);
  EXPECT_EQ(board->init(4), 1);
  EXPECT_EQ(board->currentNode.undoStack, stack);
  EXPECT_EQ(board->currentNode.undoCount, 2u);
  // The moves can still be taken back, to the same start key.
  EXPECT_EQ(board->takeBack(), 1);
  EXPECT_EQ(board->takeBack(), 1);
  EXPECT_EQ(board->currentNode.hashKey, startKey);
  EXPECT_EQ(board->currentNode.createHashKey(), startKey);
  board->newGame();
  EXPECT_EQ(board->currentNode.hashKey, startKey);
}

TEST(EngineObject, FreeStopsARunningThinkAndReleasesEverything) {
  std::unique_ptr<TestBoard> board(new TestBoard());
  board->init(2);
  board->newGame();
  board->computerThinking = 1;
  board->ponderEnabled = 1;
  board->ponderMove = 123;
  board->free();
  EXPECT_EQ(board->stopSearch, STOP_ABORT);
  EXPECT_EQ(board->ponderEnabled, 0);
  EXPECT_EQ(board->ponderMove, 0u);
  EXPECT_EQ(board->currentNode.undoStack, nullptr);
  EXPECT_EQ(board->currentNode.hashTable.table, nullptr);
  EXPECT_EQ(board->currentNode.bbAllPiece, 0u);
}

TEST(EngineObject, UpdatePiecesCopiesThePositionOnce) {
  auto board = newTestBoard();
  ASSERT_EQ(play(*board, "g1f3"), 1);
  int before = board->updates;
  board->updatePieces();
  EXPECT_EQ(board->updates, before + 1);
  const ChessBoardNode& a = board->currentNode;
  const ChessBoardNode& d = board->displayNode;
  EXPECT_EQ(a.bbAllPiece, d.bbAllPiece);
  EXPECT_EQ(memcmp(a.bbPiece, d.bbPiece, sizeof(a.bbPiece)), 0);
  EXPECT_EQ(memcmp(a.pieceArray, d.pieceArray, 64), 0);
  EXPECT_EQ(a.hashKey, d.hashKey);
  EXPECT_EQ(a.sideToMove, d.sideToMove);
  EXPECT_EQ(a.castleRights, d.castleRights);
}

TEST(EngineObject, AddPiecePlacesAPieceAndItsKey) {
  auto board = boardAt("4k3/8/8/8/8/8/8/4K3 w - - 0 1");
  board->addPiece(3, 3, QUEEN, WHITE);   // d4
  ChessBoardNode& n = board->currentNode;
  EXPECT_EQ(n.pieceArray[27], QUEEN);
  EXPECT_TRUE(n.bbPiece[WHITE * 7 + QUEEN] & (1ULL << 27));
  EXPECT_TRUE(n.bbAllPiece & (1ULL << 27));
  EXPECT_EQ(n.hashKey, n.createHashKey());
  board->addPiece(8, 0, QUEEN, WHITE);   // off the board: nothing
  EXPECT_EQ(n.hashKey, n.createHashKey());
}

TEST(EngineObject, SearchModes) {
  auto board = newTestBoard();
  board->setEngineSearchMode(MODE_DEPTH, 12, 0);
  EXPECT_EQ(board->searchMode, MODE_DEPTH);
  EXPECT_EQ(board->depthLimit, 12);
  board->setEngineSearchMode(MODE_NODES, -1, 0);
  EXPECT_EQ(board->searchMode, MODE_NODES);
  EXPECT_EQ(board->nodeLimit, ~0ULL);   // widened with its sign
  board->setEngineSearchMode(MODE_MOVETIME, 250000, 0);
  EXPECT_EQ(board->moveTime, 250000u);
  board->setEngineSearchMode(MODE_CLOCK, 0, 0);
  EXPECT_EQ(board->searchMode, MODE_CLOCK);
  for (int mode : {2, 4, 6, 8, -1}) {
    board->setEngineSearchMode(mode, 77, 0);
    EXPECT_EQ(board->searchMode, MODE_CLOCK);
  }
  board->setEngineSearchMode(MODE_INFINITE, 0, 0);
  EXPECT_EQ(board->searchMode, MODE_INFINITE);
}

// ---- coordinate move entry ----

TEST(GameRecord, PlaysACoordinateMove) {
  auto board = newTestBoard();
  ASSERT_EQ(play(*board, "e2e4"), 1);
  EXPECT_EQ(board->gameLength, 1u);
  EXPECT_EQ(board->curMoveIndex, 1u);
  EXPECT_EQ(board->lastMove, board->gameRecord[0].move);
  EXPECT_EQ(board->lastMove.from(), 12u);
  EXPECT_EQ(board->lastMove.to(), 28u);
  EXPECT_TRUE(board->lastMove.isDoublePush());
  EXPECT_EQ(board->currentNode.sideToMove, (u32)BLACK);
  EXPECT_EQ(board->legalMoveCount, 20u);
  EXPECT_EQ(board->pendingMove, 0u);
}

TEST(GameRecord, RefusedTextsChangeNothing) {
  auto board = newTestBoard();
  ASSERT_EQ(play(*board, "e2e4"), 1);
  Snapshot before(*board);
  for (const char* text : {"e2e5", "e9e4", "i2i4", "e2e", "", "e", "e7e5xx", "e7e5q", "e7e5Q",
                           "E7E5", "\x80\x80\x80\x80", "e1e2"}) {
    EXPECT_EQ(play(*board, text), 0) << text;
    EXPECT_TRUE(Snapshot(*board) == before) << text;
  }
}

TEST(GameRecord, Promotions) {
  const char* fen = "4k3/1P6/8/8/8/8/8/4K3 w - - 0 1";
  auto board = boardAt(fen);
  ASSERT_EQ(play(*board, "b7b8"), 1);
  EXPECT_EQ(board->lastMove.promotion(), (unsigned)QUEEN);
  board = boardAt(fen);
  ASSERT_EQ(play(*board, "b7b8n"), 1);
  EXPECT_EQ(board->lastMove.promotion(), (unsigned)KNIGHT);
  EXPECT_EQ(board->currentNode.pieceArray[57], KNIGHT);
  board = boardAt(fen);
  EXPECT_EQ(play(*board, "b7b8Q"), 0);
  EXPECT_EQ(play(*board, "b7b8k"), 0);
  EXPECT_EQ(play(*board, "e1e2q"), 0);
  EXPECT_EQ(board->gameLength, 0u);
}

TEST(GameRecord, MoveIntoCheckIsRefused) {
  auto board = boardAt("4r1k1/8/8/8/8/8/4B3/4K3 w - - 0 1");
  Snapshot before(*board);
  EXPECT_EQ(play(*board, "e2d3"), 0);   // the bishop is pinned
  EXPECT_TRUE(Snapshot(*board) == before);
  EXPECT_EQ(play(*board, "e1d1"), 1);
}

TEST(GameRecord, TakeBackRestoresACapture) {
  auto board = newTestBoard();
  u64 start = board->currentNode.hashKey;
  ASSERT_EQ(play(*board, "e2e4"), 1);
  ASSERT_EQ(play(*board, "d7d5"), 1);
  u64 beforeCapture = board->currentNode.hashKey;
  ASSERT_EQ(play(*board, "e4d5"), 1);
  EXPECT_EQ(board->capturedCount[BLACK], 1u);
  EXPECT_EQ(board->capturedPieces[BLACK][0], PAWN);
  EXPECT_EQ(board->takeBack(), 1);
  EXPECT_EQ(board->capturedCount[BLACK], 0u);
  EXPECT_EQ(board->currentNode.pieceArray[35], PAWN);   // d5
  EXPECT_EQ(board->currentNode.hashKey, beforeCapture);
  EXPECT_EQ(board->gameLength, 2u);
  EXPECT_EQ(board->lastMove, board->gameRecord[1].move);
  EXPECT_EQ(board->legalMoveCount, 31u);   // White's moves after 1.e4 d5
  EXPECT_EQ(board->takeBack(), 1);
  EXPECT_EQ(board->takeBack(), 1);
  EXPECT_EQ(board->takeBack(), 0);   // nothing left
  EXPECT_EQ(board->currentNode.hashKey, start);
  EXPECT_EQ(board->lastMove, 0u);
  EXPECT_EQ(board->nextPlayers, 3);
}

TEST(GameRecord, StepsBackAndForth) {
  auto board = newTestBoard();
  for (const char* m : {"e2e4", "e7e5", "g1f3"}) ASSERT_EQ(play(*board, m), 1);
  u64 end = board->currentNode.hashKey;
  EXPECT_EQ(board->previousMove(), 1);
  EXPECT_EQ(board->previousMove(), 1);
  EXPECT_EQ(board->gameLength, 3u);
  EXPECT_EQ(board->curMoveIndex, 1u);
  EXPECT_EQ(board->nextMove(), 1);
  EXPECT_EQ(board->nextMove(), 1);
  EXPECT_EQ(board->nextMove(), 0);
  EXPECT_EQ(board->currentNode.hashKey, end);
  // A new move after stepping back drops the later entries.
  EXPECT_EQ(board->previousMove(), 1);
  EXPECT_EQ(board->previousMove(), 1);
  ASSERT_EQ(play(*board, "d7d5"), 1);
  EXPECT_EQ(board->gameLength, 2u);
  EXPECT_EQ(board->curMoveIndex, 2u);
  EXPECT_EQ(board->nextMove(), 0);
  for (int i = 0; i < 2; i++) EXPECT_EQ(board->previousMove(), 1);
  EXPECT_EQ(board->previousMove(), 0);
  EXPECT_EQ(board->lastMove, 0u);
}

TEST(GameRecord, CountsLegalMovesAndMates) {
  auto board = newTestBoard();
  EXPECT_EQ(board->countLegalMoves(), 20u);
  EXPECT_EQ(board->isMate(), 0);
  board = boardAt("rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3");
  EXPECT_EQ(board->countLegalMoves(), 0u);
  EXPECT_EQ(board->isMate(), 1);
  board = boardAt("k7/8/1K6/8/8/8/8/8 b - - 0 1");   // bare kings: not mate
  EXPECT_EQ(board->isMate(), 0);
  board = boardAt("k7/8/1K6/8/8/8/7Q/8 b - - 0 1");   // stalemate: not mate
  EXPECT_EQ(board->countLegalMoves(), 0u);
  EXPECT_EQ(board->isMate(), 0);
}

// The record holds 4096 plies; the 4097th is refused and changes nothing,
// and the game goes on once a move has been taken back.
TEST(GameRecord, FullRecordRefusesMoves) {
  auto board = newTestBoard();
  const char* cycle[] = {"g1f3", "g8f6", "f3g1", "f6g8"};
  for (unsigned i = 0; i < MAX_GAME_LENGTH; i++) ASSERT_EQ(play(*board, cycle[i % 4]), 1) << i;
  EXPECT_EQ(board->gameLength, MAX_GAME_LENGTH);
  EXPECT_EQ(board->currentNode.undoCount, MAX_GAME_LENGTH);
  Snapshot full(*board);
  EXPECT_EQ(play(*board, "e2e4"), 0);
  EXPECT_EQ(play(*board, "g1f3"), 0);
  EXPECT_TRUE(Snapshot(*board) == full);
  EXPECT_EQ(board->nextMove(), 0);
  // A search line still fits behind a full record.
  EXPECT_EQ(board->searchAllMoves(&board->currentNode, 4, 0), 197281u);
  EXPECT_EQ(board->takeBack(), 1);
  EXPECT_EQ(play(*board, "f6g8"), 1);
  EXPECT_EQ(board->gameLength, MAX_GAME_LENGTH);
}

// ---- two-click move entry ----

TEST(GameRecord, TwoClickEntry) {
  auto board = newTestBoard();
  EXPECT_EQ(board->setMove(4, 4), 0);   // e5: empty square, nothing picked
  EXPECT_EQ(board->setMove(4, 6), 2);   // e7: an enemy piece
  EXPECT_EQ(board->setMove(4, 1), 0);   // pick e2
  EXPECT_EQ(board->setMove(4, 1), 6);   // same square again: cancelled
  EXPECT_EQ(board->setMove(9, 1), 1);   // off the board
  EXPECT_EQ(board->setMove(4, 1), 0);
  EXPECT_EQ(board->setMove(4, 4), 1);   // e2-e5 is no move
  EXPECT_EQ(board->gameLength, 0u);
  EXPECT_EQ(board->setMove(4, 1), 0);
  EXPECT_EQ(board->setMove(4, 3), 0);   // e2-e4
  EXPECT_EQ(board->gameLength, 1u);
  EXPECT_STREQ(board->gameRecord[0].text, "e4");
  EXPECT_EQ(board->currentNode.sideToMove, (u32)BLACK);
}

TEST(GameRecord, TwoClickCheckMateAndPromotion) {
  // Fool's mate by clicks: the last move is written with "#".
  auto board = newTestBoard();
  const int clicks[][2] = {{5, 1}, {5, 2}, {4, 6}, {4, 4}, {6, 1}, {6, 3}, {3, 7}, {7, 3}};
  for (const auto& c : clicks) ASSERT_EQ(board->setMove(c[0], c[1]), 0);
  EXPECT_STREQ(board->gameRecord[3].text, "Qh4#");
  EXPECT_EQ(board->currentNode.nodeState, NODE_MATE);

  // A capture that promotes waits for its piece, then is written with "+".
  board = boardAt("3r3k/4P3/8/8/8/8/8/4K3 w - - 0 1");
  EXPECT_EQ(board->setMove(4, 6), 0);
  EXPECT_EQ(board->setMove(3, 7), 0);
  EXPECT_EQ(board->promotionPending, 1);
  EXPECT_EQ(board->capturedCount[BLACK], 1u);
  EXPECT_EQ(board->gameLength, 0u);
  EXPECT_EQ(board->setMove(ROOK, 0), 0);
  EXPECT_EQ(board->gameLength, 1u);
  EXPECT_STREQ(board->gameRecord[0].text, "exd8=R+");
  EXPECT_EQ(board->capturedCount[BLACK], 1u);
  EXPECT_EQ(board->currentNode.nodeState, NODE_CHECK);

  // A move into check is refused and its capture taken off the list: the
  // bishop on d2 is pinned by the queen on a5.
  board = boardAt("4k3/8/8/q7/8/4n3/3B4/4K3 w - - 0 1");
  ASSERT_EQ(board->setMove(3, 1), 0);
  EXPECT_EQ(board->setMove(4, 2), 1);   // Bxe3
  EXPECT_EQ(board->capturedCount[BLACK], 0u);
  EXPECT_EQ(board->gameLength, 0u);
}
