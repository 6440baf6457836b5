// Make and unmake: a move is played on the position record incrementally
// (bitboards, piece board, rights, counters, material, phase, piece-square
// sums and key) and taken back exactly from the undo record.
#include <cstddef>
#include <cstring>

#include "engine/bitboard.h"
#include "engine/log.h"
#include "engine/node.h"
#include "engine/pst.h"

namespace {

// Castle rights that a piece takes along when it leaves its square (or, for
// a rook, when it is captured there): a king both rights of its colour, a
// rook on its corner the right of that corner. By composite piece index
// (colour * 7 + type) and square, the index of the keys and the
// piece-square tables.
struct CastleRightTable {
  u8 lost[14][64];
  constexpr CastleRightTable() : lost() {
    for (unsigned s = 0; s < 64; s++) {
      lost[WHITE * 7 + KING][s] = CASTLE_WK | CASTLE_WQ;
      lost[BLACK * 7 + KING][s] = CASTLE_BK | CASTLE_BQ;
    }
    lost[WHITE * 7 + ROOK][7] = CASTLE_WK;    // h1
    lost[WHITE * 7 + ROOK][0] = CASTLE_WQ;    // a1
    lost[BLACK * 7 + ROOK][63] = CASTLE_BK;   // h8
    lost[BLACK * 7 + ROOK][56] = CASTLE_BQ;   // a8
  }
};
constexpr CastleRightTable castleRightTable;
const u8* const rightsLostBy = &castleRightTable.lost[0][0];

// Square of the first rank of each colour: a8 for black, a1 for white.
const unsigned homeRank[2] = {56, 0};

// The piece-square tables as rows by composite piece index.
const i32* const pstMiddlegameOf = &piece_square_table_middlegame[0][0][0];
const i32* const pstEndgameOf = &piece_square_table_endgame[0][0][0];

// Move-word fields that make a move more than a plain quiet move (a
// double push only adds its en-passant file).
const u32 CAPTURE_BITS = 7u << 15;
const u32 PROMOTION_BITS = 7u << 18;
const u32 NOT_QUIET = CAPTURE_BITS | PROMOTION_BITS | MOVE_CASTLE | MOVE_EN_PASSANT;

// A move word without the check and mate markers.
inline u32 moveBits(u32 move) { return move & 0xFFFFFFu; }

// The undo record starts with a copy of the position record's fields from
// hashKey to nodeState.
#define SAME_PLACE(field)                                                                  \
  static_assert(offsetof(ChessBoardNode, field) - offsetof(ChessBoardNode, hashKey) ==       \
                    offsetof(ChessMoveUndo, field),                                          \
                "undo record out of order: " #field)
SAME_PLACE(hashKey);
SAME_PLACE(material);
SAME_PLACE(sideToMove);
SAME_PLACE(opponent);
SAME_PLACE(gamePhase);
SAME_PLACE(phaseSum);
SAME_PLACE(pstMiddlegame);
SAME_PLACE(pstEndgame);
SAME_PLACE(castleRights);
SAME_PLACE(enPassantFile);
SAME_PLACE(halfMoveClock);
SAME_PLACE(nodeState);
#undef SAME_PLACE
const size_t SAVED_BYTES = offsetof(ChessMoveUndo, nodeState) + 1;
static_assert(SAVED_BYTES == 56, "the saved block is 56 bytes");

}  // namespace

namespace {

// Steps 3 to 11 of a move that captures, promotes, castles or takes en
// passant, once the undo record is written. Kept out of line so that the
// quiet moves' path stays short.
__attribute__((noinline)) void playCaptureOrSpecial(ChessBoardNode& node, u32 m) {
  const unsigned piece = (m >> 12) & 7;
  const unsigned from = m & 63, to = (m >> 6) & 63;
  const unsigned captured = (m >> 15) & 7;
  const unsigned promotion = (m >> 18) & 7;
  const unsigned side = node.sideToMove, opp = side ^ 1;
  const unsigned own = side * 7;
  const u64* keys = node.zobrist.keyOf[0];

  // 3. Fifty-move counter (the moving piece is the one on the from-square).
  node.halfMoveClock = (captured || piece == PAWN) ? 0 : (u8)(node.halfMoveClock + 1);

  // 5, 8 and 11. The old en-passant file leaves the key, the side key
  //    enters it (no move here opens a file).
  u64 key = node.hashKey ^ node.zobrist.sideKey;
  if (node.enPassantFile) {
    key ^= node.zobrist.epKeys[node.enPassantFile - 1];
    node.enPassantFile = 0;
  }

  // 4 and 7. Lift the mover and place it, or the promotion piece, on the
  //    target. A plain capture leaves the target square occupied.
  const unsigned placed = promotion ? promotion : piece;
  const unsigned fromIndex = (own + piece) * 64 + from;
  const unsigned toIndex = (own + placed) * 64 + to;
  const u64 fromBit = 1ULL << from, toBit = 1ULL << to;
  key ^= keys[fromIndex] ^ keys[toIndex];
  node.pstMiddlegame[side] += pstMiddlegameOf[toIndex] - pstMiddlegameOf[fromIndex];
  node.pstEndgame[side] += pstEndgameOf[toIndex] - pstEndgameOf[fromIndex];
  node.bbColorPiece[side] ^= fromBit | toBit;
  node.bbPiece[own + piece] ^= fromBit;
  node.bbPiece[own + placed] ^= toBit;
  node.bbAllPiece ^= fromBit | ((captured && !(m & MOVE_EN_PASSANT)) ? 0 : toBit);
  node.pieceArray[from] = 0;
  node.pieceArray[to] = (u8)placed;

  // 10. Castle rights lost by the mover (a king, a rook from its corner).
  unsigned rightsLost = rightsLostBy[fromIndex];
  if (piece == KING) node.kingSquare[side] = (u8)to;

  // 6. Remove the victim; a captured rook takes its castle right along.
  if (captured) {
    node.material[opp] -= PieceCaptureValue[captured];
    node.phaseSum[opp] -= PieceGamePhaseValue[captured];
    node.pieceCount[opp * 7 + captured]--;
    unsigned victim = to;
    if (m & MOVE_EN_PASSANT) {
      victim = (unsigned)((int)to + EnPassantOffset[side]);
      node.pieceArray[victim] = 0;
      node.bbAllPiece ^= 1ULL << victim;
    }
    const unsigned victimIndex = (opp * 7 + captured) * 64 + victim;
    const u64 victimBit = 1ULL << victim;
    node.pstMiddlegame[opp] -= pstMiddlegameOf[victimIndex];
    node.pstEndgame[opp] -= pstEndgameOf[victimIndex];
    node.bbPiece[opp * 7 + captured] ^= victimBit;
    node.bbColorPiece[opp] ^= victimBit;
    key ^= keys[victimIndex];
    rightsLost |= rightsLostBy[victimIndex];
  }
  // 7 (promotion). The pawn becomes the promotion piece.
  if (promotion) {
    node.phaseSum[side] += PieceGamePhaseValue[promotion];
    node.material[side] += PieceCaptureValue[promotion] - PieceCaptureValue[PAWN];
    node.pieceCount[own + PAWN]--;
    node.pieceCount[own + promotion]++;
  }
  // 9. Castling moves the rook too: h-file rook to the f-file (king side),
  //    a-file rook to the d-file (queen side).
  if (m & MOVE_CASTLE) {
    const bool kingSide = from < to;
    const unsigned rookFrom = homeRank[side] + (kingSide ? 7 : 0);
    const unsigned rookTo = homeRank[side] + (kingSide ? 5 : 3);
    const unsigned rookIndex = (own + ROOK) * 64;
    const u64 rookBits = (1ULL << rookFrom) | (1ULL << rookTo);
    node.pstMiddlegame[side] +=
        pstMiddlegameOf[rookIndex + rookTo] - pstMiddlegameOf[rookIndex + rookFrom];
    node.pstEndgame[side] +=
        pstEndgameOf[rookIndex + rookTo] - pstEndgameOf[rookIndex + rookFrom];
    node.bbColorPiece[side] ^= rookBits;
    node.bbPiece[own + ROOK] ^= rookBits;
    node.bbAllPiece ^= rookBits;
    key ^= keys[rookIndex + rookFrom] ^ keys[rookIndex + rookTo];
    node.pieceArray[rookFrom] = 0;
    node.pieceArray[rookTo] = ROOK;
  }
  // 11. The phase changes with the material only.
  node.gamePhase = gamePhaseOf(node.phaseSum[BLACK] + node.phaseSum[WHITE]);

  // 10. Each right still held and now lost leaves the key.
  rightsLost &= node.castleRights;
  node.castleRights = (u8)(node.castleRights ^ rightsLost);
  node.hashKey = key ^ node.zobrist.castleCombo[rightsLost];

  // 13. The other side is to move.
  node.opponent = side;
  node.sideToMove = opp;
}

// Steps 2 to 7 of unmake for a move that captured, promoted, castled or took
// en passant, once the saved block is restored (the mover is to move).
__attribute__((noinline)) void takeBackCaptureOrSpecial(ChessBoardNode& node, u32 m) {
  const unsigned piece = (m >> 12) & 7;
  const unsigned from = m & 63, to = (m >> 6) & 63;
  const unsigned captured = (m >> 15) & 7, promotion = (m >> 18) & 7;
  const unsigned mover = node.sideToMove, other = mover ^ 1;
  const unsigned own = mover * 7;
  const u64 fromBit = 1ULL << from, toBit = 1ULL << to;

  // 2-4 and 6. Lift what stands on the target (the promotion piece or the
  //    mover) and put the mover back.
  const unsigned placed = promotion ? promotion : piece;
  node.bbPiece[own + placed] ^= toBit;
  node.bbPiece[own + piece] ^= fromBit;
  node.bbColorPiece[mover] ^= fromBit | toBit;
  node.bbAllPiece ^= fromBit | ((captured && !(m & MOVE_EN_PASSANT)) ? 0 : toBit);
  node.pieceArray[to] = 0;
  node.pieceArray[from] = (u8)piece;
  if (promotion) {
    node.pieceCount[own + promotion]--;
    node.pieceCount[own + PAWN]++;
  }

  // 5. Put the victim back.
  if (captured) {
    node.pieceCount[other * 7 + captured]++;
    unsigned victim = to;
    if (m & MOVE_EN_PASSANT) {
      victim = (unsigned)((int)to + EnPassantOffset[mover]);
      node.bbAllPiece ^= 1ULL << victim;
    }
    const u64 victimBit = 1ULL << victim;
    node.bbColorPiece[other] ^= victimBit;
    node.bbPiece[other * 7 + captured] ^= victimBit;
    node.pieceArray[victim] = (u8)captured;
  }

  // 7. The castling rook returns to its corner.
  if (m & MOVE_CASTLE) {
    const bool kingSide = to == homeRank[mover] + 6;
    const unsigned rookFrom = homeRank[mover] + (kingSide ? 7 : 0);
    const unsigned rookTo = homeRank[mover] + (kingSide ? 5 : 3);
    const u64 rookBits = (1ULL << rookFrom) | (1ULL << rookTo);
    node.bbColorPiece[mover] ^= rookBits;
    node.bbPiece[own + ROOK] ^= rookBits;
    node.bbAllPiece ^= rookBits;
    node.pieceArray[rookTo] = 0;
    node.pieceArray[rookFrom] = ROOK;
  }
}

}  // namespace

inline bool ChessBoardNode::playMove(ChessMove move) {
  const u32 m = move.move;
  const unsigned piece = (m >> 12) & 7;
  // A word without a moving piece (the empty move), or full stacks: refused,
  // nothing changes.
  if (piece - 1u >= 6u || !canMakeMove()) return false;

  // 1-2. Undo record (the block from hashKey on, for unmake) and key
  //      history.
  ChessMoveUndo& undo = undoStack[undoCount++];
  memcpy(static_cast<void*>(&undo), &hashKey, SAVED_BYTES);
  undo.move = move;
  hashHistory[hashHistoryCount++] = hashKey;

  if (m & NOT_QUIET) {
    playCaptureOrSpecial(*this, m);
    return true;
  }

  // A quiet move (a double push among them): steps 3 to 11 in short.
  const unsigned from = m & 63, to = (m >> 6) & 63;
  const unsigned side = sideToMove;
  const unsigned index = (side * 7 + piece) * 64;   // keys, piece-square values, rights
  const u64* keys = zobrist.keyOf[0];
  u64 key = hashKey ^ zobrist.sideKey ^ keys[index + from] ^ keys[index + to];
  halfMoveClock = piece == PAWN ? 0 : (u8)(halfMoveClock + 1);
  if (enPassantFile) {
    key ^= zobrist.epKeys[enPassantFile - 1];
    enPassantFile = 0;
  }
  if (m & MOVE_DOUBLE_PUSH) {
    enPassantFile = (u8)((to & 7) + 1);
    key ^= zobrist.epKeys[to & 7];
  }
  pstMiddlegame[side] += pstMiddlegameOf[index + to] - pstMiddlegameOf[index + from];
  pstEndgame[side] += pstEndgameOf[index + to] - pstEndgameOf[index + from];
  const u64 both = (1ULL << from) | (1ULL << to);
  bbPiece[side * 7 + piece] ^= both;
  bbColorPiece[side] ^= both;
  bbAllPiece ^= both;
  pieceArray[from] = 0;
  pieceArray[to] = (u8)piece;
  if (piece == KING) kingSquare[side] = (u8)to;
  if (castleRights) {
    const unsigned rightsLost = rightsLostBy[index + from] & castleRights;
    castleRights = (u8)(castleRights ^ rightsLost);
    key ^= zobrist.castleCombo[rightsLost];
  }
  hashKey = key;
  opponent = side;
  sideToMove = side ^ 1;
  return true;
}

int ChessBoardNode::makeMove(ChessMove move) {
  if (!playMove(move)) return 0;
  // 12 and 14. Legal unless the mover's king is now attacked.
  return !isAttacked(kingSquare[opponent], (int)sideToMove);
}

int ChessBoardNode::makeLegalMove(ChessMove move) { return playMove(move) ? 1 : 0; }

int ChessBoardNode::unMakeMove(ChessMove move) {
  const u32 m = move.move;
  const unsigned piece = (m >> 12) & 7;
  // Refused like makeMove refuses it, and only the move on top of the undo
  // stack can be taken back: nothing changes otherwise.
  if (piece - 1u >= 6u || undoCount == 0 || moveBits(undoStack[undoCount - 1].move ^ m) != 0)
    return 0;
  const ChessMoveUndo& undo = undoStack[--undoCount];

  // 1, 8 and 9. Key, sums, side, rights, en-passant file and counter as
  //    they were: the mover is to move again.
  if (hashHistoryCount) hashHistoryCount--;
  const u8 state = nodeState;
  memcpy(&hashKey, &undo, SAVED_BYTES);
  nodeState = state;
  const unsigned from = m & 63, to = (m >> 6) & 63;
  const unsigned mover = sideToMove;
  if (piece == KING) kingSquare[mover] = (u8)from;

  if (m & NOT_QUIET) {
    takeBackCaptureOrSpecial(*this, m);
    return 1;
  }
  // 2-4 and 6 for a quiet move: the mover goes back.
  const u64 both = (1ULL << from) | (1ULL << to);
  bbPiece[mover * 7 + piece] ^= both;
  bbColorPiece[mover] ^= both;
  bbAllPiece ^= both;
  pieceArray[to] = 0;
  pieceArray[from] = (u8)piece;
  return 1;
}

u64 ChessBoardNode::createHashKey() {
  u64 key = 0;
  for (unsigned sq = 0; sq < 64; sq++) {
    const unsigned type = pieceArray[sq];
    if (!type || type > KING) continue;
    if (bbColorPiece[WHITE] & (1ULL << sq))
      key ^= zobrist.pieceKey(WHITE, type, sq);
    else if (bbColorPiece[BLACK] & (1ULL << sq))
      key ^= zobrist.pieceKey(BLACK, type, sq);
  }
  if (enPassantFile) key ^= zobrist.epKeys[(enPassantFile - 1) & 7];
  key ^= zobrist.castleCombo[castleRights & 15];
  if (sideToMove == BLACK) key ^= zobrist.sideKey;
  return key;
}

int ChessBoardNode::testBoard() {
  int failures = 0;
  auto fail = [&failures](int level, const char* text) {
    Log::print(level, text);
    failures++;
  };

  // The piece board against the bitboards; each kind of fault once.
  bool badValue = false, notInAll = false, notInColour = false, notInPiece = false;
  for (unsigned sq = 0; sq < 64; sq++) {
    const unsigned type = pieceArray[sq];
    const u64 bit = 1ULL << sq;
    if (type > KING) {
      badValue = true;
      continue;
    }
    if (!type) continue;
    if (!(bbAllPiece & bit)) notInAll = true;
    if (!((bbColorPiece[WHITE] | bbColorPiece[BLACK]) & bit)) notInColour = true;
    const unsigned colour = (bbColorPiece[WHITE] & bit) ? WHITE : BLACK;
    if (!(bbPiece[colour * 7 + type] & bit)) notInPiece = true;
  }
  if (badValue) fail(17, "wrong value in piece array");
  if (notInAll) fail(17, "piece array different than bbAllPiece");
  if (notInColour) fail(17, "piece array different than bbColorPiece");
  if (notInPiece) fail(17, "piece array different than bbPiece");

  // Piece counts, white then black, pawns to queens.
  static const char* const countMessages[2][5] = {
      {"bad number of black pawn", "bad number of black knight", "bad number of black bishop",
       "bad number of black rook", "bad number of black queen"},
      {"bad number of white pawn", "bad number of white knight", "bad number of white bishop",
       "bad number of white rook", "bad number of white queen"}};
  for (int colour = WHITE; colour >= BLACK; colour--)
    for (unsigned type = PAWN; type <= QUEEN; type++)
      if (pieceCount[colour * 7 + type] != popCount(bbPiece[colour * 7 + type]))
        fail(17, countMessages[colour][type - 1]);

  // Material recomputed from the piece board.
  i32 sum[2] = {0, 0};
  for (unsigned sq = 0; sq < 64; sq++) {
    const unsigned type = pieceArray[sq];
    if (!type || type > KING) continue;
    sum[(bbColorPiece[WHITE] >> sq) & 1] += PieceCaptureValue[type];
  }
  if (sum[WHITE] != material[WHITE]) fail(17, "bad white material value");
  if (sum[BLACK] != material[BLACK]) fail(17, "bad black material value");

  // King squares.
  if (!(bbPiece[WHITE * 7 + KING] & (1ULL << (kingSquare[WHITE] & 63))))
    fail(17, "bad king position for white");
  if (!(bbPiece[BLACK * 7 + KING] & (1ULL << (kingSquare[BLACK] & 63))))
    fail(17, "bad king position for black");
  return failures;
}
