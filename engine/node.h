// The position record: bitboards, piece board, rights and counters, the
// incrementally kept sums and key, and the stacks that make and unmake use.
#pragma once

#include "engine/bitboard.h"
#include "engine/hashtable.h"
#include "engine/types.h"
#include "engine/zobrist.h"

// An undo record: the position as it was before the move made from this
// stack depth, and the search's notes on that depth. Its first fields copy
// the position record's fields from hashKey to nodeState in their order, so
// that make saves them and unmake restores them as one block (unmake leaves
// nodeState as it is: only the list builders and the search write it).
struct ChessMoveUndo {
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
  u8 nodeState;        // copied along with the block, never restored
  ChessMove move;      // the move made from this depth (0 for a null move)
  u8 inCheck;          // search only: the side to move here is in check
  u8 nodeType;         // search only: 0 PV, 1 CUT, 2 ALL
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
  // Where the last capture list ended and how many moves it held: quiet
  // moves appended right behind it share its MAX_MOVES entries.
  const ChessMoveSort* capturesEnd = nullptr;
  u32 capturesCount = 0;

  // ---- position record: make and unmake ----
  // Plays a generated move; 1 when legal, 0 when it leaves the mover's king
  // attacked (the move is made all the same and must be taken back). A move
  // without a moving piece, or one that finds the key history or the undo
  // stack full, is refused: 0, and nothing changes.
  int makeMove(ChessMove move);
  // makeMove without its closing attack test, for a move the caller has
  // proved legal (the side to move is not in check and the move is neither a
  // king move, an en-passant capture nor a move of a pinned piece). 1, or 0
  // when refused.
  int makeLegalMove(ChessMove move);
  // Takes back the move last made; refuses (0, nothing changes) a move that
  // is not the one on top of the undo stack, or that makeMove refused.
  int unMakeMove(ChessMove move);
  u64 createHashKey();
  // Consistency check of the record; the number of failed checks.
  int testBoard();
  void printPieceArray() {}
  void printPiece() {}
  // True when the key history and the undo stack can take one more move.
  bool canMakeMove() const {
    return hashHistoryCount < HASH_HISTORY_SIZE && undoCount < UNDO_STACK_SIZE;
  }

  // ---- move generation and attack tests ----
  // A full list is the evasions (in check) or the captures followed by the
  // quiet moves appended right behind them (generateMovesNC(list + c, ...)).
  // No list grows past MAX_MOVES entries: the evasions and the captures stop
  // there, and quiet moves appended to a capture list stop where both
  // together reach it.
  void generateMovesC(ChessMoveSort* list, unsigned* count);
  int generateMovesNC(ChessMoveSort* list, unsigned* count);
  int generateKingEvasion(ChessMoveSort* list);
  int generateMoves(ChessMoveSort* list, unsigned* count, int inCheck);
  // 1 when a piece of byColour attacks the square.
  int isAttacked(unsigned square, int byColour) {
    const unsigned base = (unsigned)byColour * 7;
    if (bbPawnAttack[byColour ^ 1][square] & bbPiece[base + PAWN]) return 1;
    if (bbKnightAttack[square] & bbPiece[base + KNIGHT]) return 1;
    const u64 queens = bbPiece[base + QUEEN];
    if (bishopAttacks(square, bbAllPiece) & (bbPiece[base + BISHOP] | queens)) return 1;
    if (rookAttacks(square, bbAllPiece) & (bbPiece[base + ROOK] | queens)) return 1;
    return (bbKingAttack[square] & bbPiece[base + KING]) != 0;
  }
  int isPinned(unsigned square, int colour);
  int validMove(ChessMove move);
  // Whether the side to move is in check.
  int inCheck() { return isAttacked(kingSquare[sideToMove], opponent); }

  // ---- static evaluation ----
  int evaluate(int alpha, int beta, int lazyAllowed);
  int evaluateDraw(int colour);

private:
  // Everything makeMove does but the legality test; false when refused.
  bool playMove(ChessMove move);
};
