// The position record: bitboards, piece board, rights and counters, the
// incrementally kept sums and key, and the stacks that make and unmake use.
#pragma once

#include <cstddef>
#include <cstring>

#include "engine/bitboard.h"
#include "engine/hashtable.h"
#include "engine/pst.h"
#include "engine/types.h"
#include "engine/zobrist.h"

// An undo record: the position as it was before the move made from this
// stack depth, and the search's notes on that depth. Its first 56 bytes copy
// the position record's fields from hashKey to halfMoveClock and the unused
// first piece count in their order, so that make saves them and unmake
// restores them as one block.
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
  u8 spare;        // the position's pieceCount[0], always 0
  ChessMove move;  // the move made from this depth (0 for a null move)
  u8 inCheck;      // search only: the side to move here is in check
  u8 nodeType;     // search only: 0 PV, 1 CUT, 2 ALL
};

// Castle-right bits.
enum { CASTLE_WK = 1, CASTLE_WQ = 2, CASTLE_BK = 4, CASTLE_BQ = 8 };

// Castle rights that a piece takes along when it leaves its square (or, for
// a rook, when it is captured there): a king both rights of its colour, a
// rook on its corner the right of that corner. By composite piece index
// (colour * 7 + type) and square, the index of the keys and the
// piece-square tables.
struct CastleRightTable {
  u8 lost[14 * 64];  // entry (colour * 7 + type) * 64 + square
  constexpr CastleRightTable() : lost() {
    for (unsigned s = 0; s < 64; s++) {
      lost[(WHITE * 7 + KING) * 64 + s] = CASTLE_WK | CASTLE_WQ;
      lost[(BLACK * 7 + KING) * 64 + s] = CASTLE_BK | CASTLE_BQ;
    }
    lost[(WHITE * 7 + ROOK) * 64 + 7] = CASTLE_WK;   // h1
    lost[(WHITE * 7 + ROOK) * 64 + 0] = CASTLE_WQ;   // a1
    lost[(BLACK * 7 + ROOK) * 64 + 63] = CASTLE_BK;  // h8
    lost[(BLACK * 7 + ROOK) * 64 + 56] = CASTLE_BQ;  // a8
  }
};
inline constexpr CastleRightTable castleRightsLost{};

// Node states.
enum { NODE_NORMAL = 0, NODE_CHECK = 1, NODE_MATE = 2, NODE_STALEMATE = 3 };

class ChessBoardNode {
public:
  u64 bbAllPiece;
  u64 bbColorPiece[2];
  u64 bbPiece[14];  // by colour * 7 + type
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
  u8 pieceCount[14];
  u8 pieceArray[64];
  u8 kingSquare[2];
  // Kept apart from the fields that make and unmake save and restore as a
  // block, as neither of them touches it.
  u8 nodeState;
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
  // Move-word fields of the moves that make and unmake take the long way
  // (out of line): promotions, castling and en passant. Quiet moves, double
  // pushes and plain captures take a short inline path.
  static constexpr u32 CAPTURE_FIELD = 7u << 15;
  static constexpr u32 SPECIAL_MOVE = (7u << 18) | MOVE_CASTLE | MOVE_EN_PASSANT;
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
  // The key after a quiet move, double push or plain capture (the moves of
  // the short path), computed without making it: the search loads the
  // table slot of a move before its turn comes. For a promotion, castling
  // or en-passant capture the key is not that of the move.
  u64 keyAfter(ChessMove move) const;
  // Takes back the move last made; refuses (0, nothing changes) a move that
  // is not the one on top of the undo stack, or that makeMove refused.
  int unMakeMove(ChessMove move);
  // Passes the move to the other side: the null move of the search. Only
  // the key, the en-passant file, the fifty-move counter and the side to
  // move change; the undo record keeps the first three (and move 0), and
  // the key history is left alone. unMakeNullMove takes it back.
  void makeNullMove();
  void unMakeNullMove();
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
  // The pieces of `mine` that stand alone between the king square and a
  // slider of rookLike or bishopLike aimed at it: pinned pieces, or pieces
  // that can give a discovered check (movegen.cpp).
  u64 loneBlockers(unsigned king, u64 mine, u64 rookLike, u64 bishopLike) const;
  // Whether a generated move is legal: made, tested and taken back.
  bool isLegalMove(ChessMove move) {
    const bool legal = makeMove(move) != 0;
    unMakeMove(move);
    return legal;
  }
  // 1 when the full list of the position (generateMovesC, then
  // generateMovesNC behind it, without the room limit) holds the move word:
  // the check for a move from elsewhere, such as the table's.
  int validMove(ChessMove move);
  // True when the full list of the side to move surely stays within its
  // room (MAX_MOVES): the most moves its pieces can have, each by its kind
  // (a pawn on the seventh rank 12 with its promotions, the king 10 with
  // castling), add up to no more.
  bool fullListFits() const {
    const u8* n = pieceCount + sideToMove * 7;
    return 12u * n[PAWN] + 8u * n[KNIGHT] + 13u * n[BISHOP] + 14u * n[ROOK] + 27u * n[QUEEN] +
               10u <=
           MAX_MOVES;
  }
  // Cheap stand-ins for the two attack tests of the search, for a move of
  // the side to move that is not yet made. Only a slider of a line's kind
  // anywhere on a line through a king and the square a move leaves can be
  // uncovered along it by the move.
  // False when the move is surely legal: the side to move is not in check,
  // and a plain move (no SPECIAL_MOVE field) of a piece other than the king
  // uncovers nothing on its own king (makeLegalMove may play it). True when
  // makeMove must test it.
  bool needsLegalityTest(ChessMove move, int inCheck) const {
    const u32 m = move.move;
    if (inCheck || (m & SPECIAL_MOVE) || ((m >> 12) & 7) == KING) return true;
    const unsigned from = m & 63, dir = direction[from][kingSquare[sideToMove]];
    return (lineThrough(from, dir) & slidersAlong(opponent, dir)) != 0;
  }
  // False when the move surely gives no check, so that the attack test on
  // the enemy king after it can be skipped (the enemy king is not attacked
  // before the move, as the enemy has just moved). A plain move attacks
  // that king only by uncovering one of the mover's sliders, or by the
  // piece itself from its target: a pawn or knight by its attack pattern,
  // a slider along a line of its kind (the king never).
  bool mayGiveCheck(ChessMove move) const {
    const u32 m = move.move;
    const unsigned from = m & 63, to = (m >> 6) & 63, piece = (m >> 12) & 7;
    const unsigned king = kingSquare[opponent], dir = direction[from][king];
    if ((m & SPECIAL_MOVE) || (lineThrough(from, dir) & slidersAlong(sideToMove, dir))) return true;
    switch (piece) {
      case PAWN: return (bbPawnAttack[sideToMove][to] >> king) & 1;
      case KNIGHT: return (bbKnightAttack[to] >> king) & 1;
      case BISHOP: return direction[to][king] >= 3;
      case ROOK: return direction[to][king] - 1u < 2u;
      case QUEEN: return direction[to][king] != 0;
      default: return false;
    }
  }
  // Whether the side to move is in check.
  int inCheck() { return isAttacked(kingSquare[sideToMove], opponent); }

  // ---- static evaluation ----
  int evaluate(int alpha, int beta, int lazyAllowed);
  int evaluateDraw(int colour);

private:
  // The sliders of a colour that move along lines of a direction (rooks and
  // queens along files and ranks, bishops and queens along diagonals).
  u64 slidersAlong(unsigned colour, unsigned dir) const {
    return bbPiece[colour * 7 + QUEEN] | bbPiece[colour * 7 + (dir >= 3 ? BISHOP : ROOK)];
  }
  // Everything makeMove does but the legality test; false when refused.
  bool playMove(ChessMove move);
  // The long paths of make (after the undo record is written) and unmake
  // (after the saved block is restored).
  void playSpecialMove(u32 move);
  void takeBackSpecialMove(u32 move);
};

// ---- make and unmake: the short paths ----
// Inline, so that the tree walks (search, perft) carry no call for them.

// The undo record starts with a copy of the 56 bytes from hashKey on. Make
// and unmake copy them in the same pieces, so that each load of a copy
// finds its bytes in one earlier store (a load that spans two pending
// stores stalls).
inline void copySavedFields(void* to, const void* from) {
  char* t = static_cast<char*>(to);
  const char* f = static_cast<const char*>(from);
  memcpy(t, f, 16);
  memcpy(t + 16, f + 16, 16);
  memcpy(t + 32, f + 32, 16);
  memcpy(t + 48, f + 48, 8);
}

inline bool ChessBoardNode::playMove(ChessMove move) {
  const u32 m = move.move;
  const unsigned piece = (m >> 12) & 7;
  // A word without a moving piece (the empty move), or full stacks: refused,
  // nothing changes.
  if (piece - 1u >= 6u || !canMakeMove()) return false;

  // 1-2. Undo record (the block from hashKey on, for unmake) and key
  //      history.
  ChessMoveUndo& undo = undoStack[undoCount++];
  copySavedFields(&undo, &hashKey);
  undo.move = move;
  hashHistory[hashHistoryCount++] = hashKey;

  if (m & SPECIAL_MOVE) {
    playSpecialMove(m);
    return true;
  }

  // Steps 3 to 11 in short for a quiet move, a double push or a plain
  // capture. Keys, piece-square values and lost rights share one index.
  const unsigned from = m & 63, to = (m >> 6) & 63;
  const unsigned side = sideToMove;
  const unsigned index = (side * 7 + piece) * 64;
  const u64* keys = zobrist.keyOf[0];
  const i32* pstMg = piece_square_table_middlegame[0][0];
  const i32* pstEg = piece_square_table_endgame[0][0];
  const u64 fromBit = 1ULL << from, toBit = 1ULL << to;
  u64 key = hashKey ^ zobrist.sideKey ^ keys[index + from] ^ keys[index + to];
  // 5 and 8. The old en-passant file leaves the key; a double push opens
  //    its own file.
  if (enPassantFile) {
    key ^= zobrist.epKeys[enPassantFile - 1];
    enPassantFile = 0;
  }
  if (m & MOVE_DOUBLE_PUSH) {
    enPassantFile = (u8)((to & 7) + 1);
    key ^= zobrist.epKeys[to & 7];
  }
  // 4 and 7. The mover goes from its square to the target.
  pstMiddlegame[side] += pstMg[index + to] - pstMg[index + from];
  pstEndgame[side] += pstEg[index + to] - pstEg[index + from];
  bbPiece[side * 7 + piece] ^= fromBit | toBit;
  bbColorPiece[side] ^= fromBit | toBit;
  pieceArray[from] = 0;
  pieceArray[to] = (u8)piece;
  // 10. A king move, a rook leaving its corner or captured there: rights.
  if (piece == KING) kingSquare[side] = (u8)to;
  unsigned rightsLost = castleRightsLost.lost[index + from];
  if (m & CAPTURE_FIELD) {
    // 3 and 6. The victim leaves the target square to the mover.
    const unsigned captured = (m >> 15) & 7, opp = side ^ 1;
    const unsigned victimIndex = (opp * 7 + captured) * 64 + to;
    halfMoveClock = 0;
    bbAllPiece ^= fromBit;
    bbPiece[opp * 7 + captured] ^= toBit;
    bbColorPiece[opp] ^= toBit;
    pieceCount[opp * 7 + captured]--;
    material[opp] -= PieceCaptureValue[captured];
    phaseSum[opp] -= PieceGamePhaseValue[captured];
    gamePhase = gamePhaseOf(phaseSum[BLACK] + phaseSum[WHITE]);
    pstMiddlegame[opp] -= pstMg[victimIndex];
    pstEndgame[opp] -= pstEg[victimIndex];
    key ^= keys[victimIndex];
    rightsLost |= castleRightsLost.lost[victimIndex];
  } else {
    // 3. The fifty-move counter runs on unless a pawn moved.
    halfMoveClock = piece == PAWN ? 0 : (u8)(halfMoveClock + 1);
    bbAllPiece ^= fromBit | toBit;
  }
  if (castleRights) {
    rightsLost &= castleRights;
    castleRights = (u8)(castleRights ^ rightsLost);
    key ^= zobrist.castleCombo[rightsLost];
  }
  // 11 and 13. Side key (in key above), the other side is to move.
  hashKey = key;
  opponent = side;
  sideToMove = side ^ 1;
  return true;
}

inline u64 ChessBoardNode::keyAfter(ChessMove move) const {
  const u32 m = move.move;
  const unsigned from = m & 63, to = (m >> 6) & 63;
  const unsigned index = (sideToMove * 7 + ((m >> 12) & 7)) * 64;
  const u64* keys = zobrist.keyOf[0];
  // The side key, and the mover from its square to the target.
  u64 key = hashKey ^ zobrist.sideKey ^ keys[index + from] ^ keys[index + to];
  // The old en-passant file closes; a double push opens its own.
  if (enPassantFile) key ^= zobrist.epKeys[enPassantFile - 1];
  if (m & MOVE_DOUBLE_PUSH) key ^= zobrist.epKeys[to & 7];
  // The victim leaves; rights still held that the mover's square or the
  // victim's take away leave too.
  const unsigned victimIndex = (opponent * 7 + ((m >> 15) & 7)) * 64 + to;
  if (m & CAPTURE_FIELD) key ^= keys[victimIndex];
  if (castleRights) {
    unsigned rightsLost = castleRightsLost.lost[index + from];
    if (m & CAPTURE_FIELD) rightsLost |= castleRightsLost.lost[victimIndex];
    key ^= zobrist.castleCombo[rightsLost & castleRights];
  }
  return key;
}

inline int ChessBoardNode::makeMove(ChessMove move) {
  if (!playMove(move)) return 0;
  // 12 and 14. Legal unless the mover's king is now attacked.
  return !isAttacked(kingSquare[opponent], (int)sideToMove);
}

inline int ChessBoardNode::makeLegalMove(ChessMove move) { return playMove(move) ? 1 : 0; }

inline int ChessBoardNode::unMakeMove(ChessMove move) {
  const u32 m = move.move;
  const unsigned piece = (m >> 12) & 7;
  // Refused like makeMove refuses it, and only the move on top of the undo
  // stack (check and mate markers aside) can be taken back: nothing changes
  // otherwise.
  if (piece - 1u >= 6u || undoCount == 0 ||
      ((undoStack[undoCount - 1].move.move ^ m) & 0xFFFFFFu) != 0)
    return 0;
  const ChessMoveUndo& undo = undoStack[--undoCount];

  // 1, 8 and 9. Key, sums, side, rights, en-passant file and counter as
  //    they were: the mover is to move again.
  if (hashHistoryCount) hashHistoryCount--;
  copySavedFields(&hashKey, &undo);
  const unsigned from = m & 63, to = (m >> 6) & 63;
  const unsigned mover = sideToMove;
  if (piece == KING) kingSquare[mover] = (u8)from;

  if (m & SPECIAL_MOVE) {
    takeBackSpecialMove(m);
    return 1;
  }
  // 2-6 for a quiet move, a double push or a plain capture: the mover goes
  // back, and a victim returns to the target square.
  const u64 fromBit = 1ULL << from, toBit = 1ULL << to;
  bbPiece[mover * 7 + piece] ^= fromBit | toBit;
  bbColorPiece[mover] ^= fromBit | toBit;
  pieceArray[from] = (u8)piece;
  if (m & CAPTURE_FIELD) {
    const unsigned captured = (m >> 15) & 7, other = mover ^ 1;
    bbAllPiece ^= fromBit;
    bbPiece[other * 7 + captured] ^= toBit;
    bbColorPiece[other] ^= toBit;
    pieceArray[to] = (u8)captured;
    pieceCount[other * 7 + captured]++;
  } else {
    bbAllPiece ^= fromBit | toBit;
    pieceArray[to] = 0;
  }
  return 1;
}

inline void ChessBoardNode::makeNullMove() {
  ChessMoveUndo& undo = undoStack[undoCount++];
  undo.hashKey = hashKey;
  undo.enPassantFile = enPassantFile;
  undo.halfMoveClock = halfMoveClock;
  undo.move = 0;
  ++halfMoveClock;
  if (enPassantFile) {
    hashKey ^= zobrist.epKeys[enPassantFile - 1];
    enPassantFile = 0;
  }
  hashKey ^= zobrist.sideKey;
  opponent = sideToMove;
  sideToMove ^= 1;
}

inline void ChessBoardNode::unMakeNullMove() {
  const ChessMoveUndo& undo = undoStack[--undoCount];
  sideToMove = opponent;
  opponent ^= 1;
  enPassantFile = undo.enPassantFile;
  halfMoveClock = undo.halfMoveClock;
  hashKey = undo.hashKey;
}
