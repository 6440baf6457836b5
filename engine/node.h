// The position record: bitboards, piece board, rights and counters, the
// incrementally kept sums and key, and the stacks that make and unmake use.
#pragma once

#include "engine/hashtable.h"
#include "engine/types.h"
#include "engine/zobrist.h"

struct ChessMoveUndo {
  u64 hashKey;
  ChessMove move;
  u8 castleRights;
  u8 enPassantFile;
  u8 halfMoveClock;
  u8 inCheck;
  u8 nodeType;
};

// Castle-right bits.
enum { CASTLE_WK = 1, CASTLE_WQ = 2, CASTLE_BK = 4, CASTLE_BQ = 8 };

// Node states.
enum { NODE_NORMAL = 0, NODE_CHECK = 1, NODE_MATE = 2, NODE_STALEMATE = 3 };

class ChessBoardNode {
public:
  u64 bbAllPiece;
  u64 bbColorPiece[2];
  u64 bbPiece[14];            // by colour * 7 + type
  u64 hashKey;
  i32 material[2];
  u32 sideToMove;
  u32 opponent;
  i32 gamePhase;
  i32 phaseSum[2];
  i32 pstMiddlegame[2];
  i32 pstEndgame[2];
  u8 castleRights;
  u8 enPassantFile;
  u8 halfMoveClock;
  u8 nodeState;
  u8 pieceCount[14];
  u8 pieceArray[64];
  u8 kingSquare[2];
  u32 hashHistoryCount;
  u64 hashHistory[HASH_HISTORY_SIZE];
  u32 undoCount;
  ChessMoveUndo* undoStack;
  PLine pvLines[MAX_PLY + 1];
  Zobrist zobrist;
  HashTable hashTable;

  // ---- position record: make and unmake ----
  int makeMove(ChessMove move);
  int unMakeMove(ChessMove move);
  u64 createHashKey();
  void testBoard();
  void printPieceArray() {}
  void printPiece() {}
  // True when the key history and the undo stack can take one more move.
  bool canMakeMove() const {
    return hashHistoryCount < HASH_HISTORY_SIZE && undoCount < UNDO_STACK_SIZE;
  }

  // ---- move generation and attack tests ----
  void generateMovesC(ChessMoveSort* list, unsigned* count);
  int generateMovesNC(ChessMoveSort* list, unsigned* count);
  int generateKingEvasion(ChessMoveSort* list);
  int generateMoves(ChessMoveSort* list, unsigned* count, int inCheck);
  int isAttacked(unsigned square, int byColour);
  int isPinned(unsigned square, int colour);
  int validMove(ChessMove move);
  // Whether the side to move is in check.
  int inCheck() { return isAttacked(kingSquare[sideToMove], opponent); }

  // ---- static evaluation ----
  int evaluate(int alpha, int beta, int lazyAllowed);
  int evaluateDraw(int colour);
};
