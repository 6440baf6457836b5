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
// rook on its corner the right of that corner. By colour, piece, square.
struct CastleRightTable {
  u8 lost[2][7][64];
  constexpr CastleRightTable() : lost() {
    for (unsigned s = 0; s < 64; s++) {
      lost[WHITE][KING][s] = CASTLE_WK | CASTLE_WQ;
      lost[BLACK][KING][s] = CASTLE_BK | CASTLE_BQ;
    }
    lost[WHITE][ROOK][7] = CASTLE_WK;    // h1
    lost[WHITE][ROOK][0] = CASTLE_WQ;    // a1
    lost[BLACK][ROOK][63] = CASTLE_BK;   // h8
    lost[BLACK][ROOK][56] = CASTLE_BQ;   // a8
  }
};
constexpr CastleRightTable castleRightTable;

// Square of the first rank of each colour: a8 for black, a1 for white.
const unsigned homeRank[2] = {56, 0};

// The piece-square tables as rows by composite piece index.
const i32* const pstMiddlegameOf = &piece_square_table_middlegame[0][0][0];
const i32* const pstEndgameOf = &piece_square_table_endgame[0][0][0];

// A move word without the check and mate markers.
inline u32 moveBits(ChessMove move) { return move.move & 0xFFFFFFu; }

// The fields material .. pstEndgame of the record follow each other as in
// PositionSums, so they are saved and restored as one block.
#define SAME_PLACE(field)                                                                  \
  static_assert(offsetof(ChessBoardNode, field) - offsetof(ChessBoardNode, material) ==      \
                    offsetof(PositionSums, field),                                           \
                "position sums out of order: " #field)
SAME_PLACE(sideToMove);
SAME_PLACE(opponent);
SAME_PLACE(gamePhase);
SAME_PLACE(phaseSum);
SAME_PLACE(pstMiddlegame);
SAME_PLACE(pstEndgame);
#undef SAME_PLACE

// Copies the 44-byte block in pieces that do not overlap (16 + 16 + 8 + 4
// bytes): a later copy then reads each piece from one earlier write.
inline void copySums(void* to, const void* from) {
  char* t = static_cast<char*>(to);
  const char* f = static_cast<const char*>(from);
  memcpy(t, f, 16);
  memcpy(t + 16, f + 16, 16);
  memcpy(t + 32, f + 32, 8);
  memcpy(t + 40, f + 40, 4);
}
static_assert(sizeof(PositionSums) == 44, "position sums are 44 bytes");

inline void saveSums(const ChessBoardNode& node, PositionSums& sums) {
  copySums(&sums, node.material);
}
inline void restoreSums(ChessBoardNode& node, const PositionSums& sums) {
  copySums(node.material, &sums);
}

}  // namespace

int ChessBoardNode::makeMove(ChessMove move) {
  const u32 m = move.move;
  const unsigned piece = (m >> 12) & 7;
  // A word without a moving piece (the empty move), or full stacks: refused,
  // nothing changes.
  if (piece - 1u >= 6u || !canMakeMove()) return 0;
  const unsigned from = m & 63, to = (m >> 6) & 63;
  const unsigned side = sideToMove, opp = side ^ 1;

  // 1-2. Undo record (with the sums, for unmake) and key history.
  ChessMoveUndo& undo = undoStack[undoCount++];
  undo.hashKey = hashKey;
  undo.move = move;
  undo.castleRights = castleRights;
  undo.enPassantFile = enPassantFile;
  undo.halfMoveClock = halfMoveClock;
  saveSums(*this, undo.sums);
  hashHistory[hashHistoryCount++] = hashKey;

  // 3. Fifty-move counter.
  const u32 captureBits = m & (7u << 15);
  halfMoveClock = (captureBits || pieceArray[from] == PAWN) ? 0 : (u8)(halfMoveClock + 1);

  // 4 and 7. Lift the mover and place it, or the promotion piece, on the
  //    target. A plain capture leaves the target square occupied. Keys and
  //    piece-square values share the index (composite index, square).
  const unsigned promotion = (m >> 18) & 7;
  const unsigned placed = promotion ? promotion : piece;
  const unsigned fromIndex = (side * 7 + piece) * 64 + from;
  const unsigned toIndex = (side * 7 + placed) * 64 + to;
  const u64* keys = zobrist.keyOf[0];
  u64 key = hashKey ^ keys[fromIndex] ^ keys[toIndex];
  pstMiddlegame[side] += pstMiddlegameOf[toIndex] - pstMiddlegameOf[fromIndex];
  pstEndgame[side] += pstEndgameOf[toIndex] - pstEndgameOf[fromIndex];
  const u64 fromBit = 1ULL << from, toBit = 1ULL << to;
  bbColorPiece[side] ^= fromBit | toBit;
  bbPiece[side * 7 + piece] ^= fromBit;
  bbPiece[side * 7 + placed] ^= toBit;
  bbAllPiece ^= fromBit | ((captureBits && !(m & MOVE_EN_PASSANT)) ? 0 : toBit);
  pieceArray[from] = 0;
  pieceArray[to] = (u8)placed;

  // 5 and 8. The old en-passant file leaves the key; a double push opens
  //    its own file.
  if (enPassantFile) key ^= zobrist.epKeys[enPassantFile - 1];
  enPassantFile = 0;
  if (m & MOVE_DOUBLE_PUSH) {
    enPassantFile = (u8)((to & 7) + 1);
    key ^= zobrist.epKeys[to & 7];
  }

  // 10. Castle rights lost by the mover (a king, a rook from its corner).
  u8 rightsLost = castleRightTable.lost[side][piece][from];
  if (piece == KING) kingSquare[side] = (u8)to;

  if (m & ((7u << 15) | (7u << 18) | MOVE_CASTLE)) {
    const unsigned captured = captureBits >> 15;
    // 6. Remove the victim; a captured rook takes its castle right along.
    if (captured) {
      material[opp] -= PieceCaptureValue[captured];
      phaseSum[opp] -= PieceGamePhaseValue[captured];
      pieceCount[opp * 7 + captured]--;
      unsigned victim = to;
      if (m & MOVE_EN_PASSANT) {
        victim = (unsigned)((int)to + EnPassantOffset[side]);
        pieceArray[victim] = 0;
        bbAllPiece ^= 1ULL << victim;
      }
      const unsigned victimIndex = (opp * 7 + captured) * 64 + victim;
      const u64 victimBit = 1ULL << victim;
      pstMiddlegame[opp] -= pstMiddlegameOf[victimIndex];
      pstEndgame[opp] -= pstEndgameOf[victimIndex];
      bbPiece[opp * 7 + captured] ^= victimBit;
      bbColorPiece[opp] ^= victimBit;
      key ^= keys[victimIndex];
      if (captured == ROOK) rightsLost |= castleRightTable.lost[opp][ROOK][to];
    }
    // 7 (promotion). The pawn becomes the promotion piece.
    if (promotion) {
      phaseSum[side] += PieceGamePhaseValue[promotion];
      material[side] += PieceCaptureValue[promotion] - PieceCaptureValue[PAWN];
      pieceCount[side * 7 + PAWN]--;
      pieceCount[side * 7 + promotion]++;
    }
    // 9. Castling moves the rook too: h-file rook to the f-file (king side),
    //    a-file rook to the d-file (queen side).
    if (m & MOVE_CASTLE) {
      const bool kingSide = from < to;
      const unsigned rookFrom = homeRank[side] + (kingSide ? 7 : 0);
      const unsigned rookTo = homeRank[side] + (kingSide ? 5 : 3);
      const unsigned rookIndex = (side * 7 + ROOK) * 64;
      const u64 rookBits = (1ULL << rookFrom) | (1ULL << rookTo);
      pstMiddlegame[side] +=
          pstMiddlegameOf[rookIndex + rookTo] - pstMiddlegameOf[rookIndex + rookFrom];
      pstEndgame[side] += pstEndgameOf[rookIndex + rookTo] - pstEndgameOf[rookIndex + rookFrom];
      bbColorPiece[side] ^= rookBits;
      bbPiece[side * 7 + ROOK] ^= rookBits;
      bbAllPiece ^= rookBits;
      key ^= keys[rookIndex + rookFrom] ^ keys[rookIndex + rookTo];
      pieceArray[rookFrom] = 0;
      pieceArray[rookTo] = ROOK;
    }
    // 11. The phase changes with the material only.
    gamePhase = gamePhaseOf(phaseSum[BLACK] + phaseSum[WHITE]);
  }

  // 10. Each right still held and now lost leaves the key.
  rightsLost &= castleRights;
  castleRights ^= rightsLost;
  key ^= zobrist.castleCombo[rightsLost];

  // 11. Side key.
  hashKey = key ^ zobrist.sideKey;

  // 12-14. Legal unless the mover's king is now attacked.
  opponent = side;
  sideToMove = opp;
  return !isAttacked(kingSquare[side], (int)opp);
}

int ChessBoardNode::unMakeMove(ChessMove move) {
  const u32 m = move.move;
  const unsigned piece = (m >> 12) & 7;
  // Refused like makeMove refuses it, and only the move on top of the undo
  // stack can be taken back: nothing changes otherwise.
  if (piece - 1u >= 6u || undoCount == 0 ||
      moveBits(undoStack[undoCount - 1].move) != moveBits(move))
    return 0;
  const unsigned from = m & 63, to = (m >> 6) & 63;
  const unsigned captured = (m >> 15) & 7, promotion = (m >> 18) & 7;
  const ChessMoveUndo& undo = undoStack[--undoCount];

  // 1. The mover is to move again (side, opponent, material, phase and
  //    piece-square sums come back from the undo record with step 9).
  const unsigned mover = opponent, other = sideToMove;
  if (hashHistoryCount) hashHistoryCount--;
  restoreSums(*this, undo.sums);
  const u64 fromBit = 1ULL << from, toBit = 1ULL << to;

  // 2-4 and 6. Lift what stands on the target (the promotion piece or the
  //    mover) and put the mover back.
  const unsigned placed = promotion ? promotion : piece;
  bbPiece[mover * 7 + placed] ^= toBit;
  bbPiece[mover * 7 + piece] ^= fromBit;
  bbColorPiece[mover] ^= fromBit | toBit;
  bbAllPiece ^= fromBit | ((captured && !(m & MOVE_EN_PASSANT)) ? 0 : toBit);
  pieceArray[to] = 0;
  pieceArray[from] = (u8)piece;
  if (promotion) {
    pieceCount[mover * 7 + promotion]--;
    pieceCount[mover * 7 + PAWN]++;
  }

  // 5. Put the victim back.
  if (captured) {
    pieceCount[other * 7 + captured]++;
    unsigned victim = to;
    if (m & MOVE_EN_PASSANT) {
      victim = (unsigned)((int)to + EnPassantOffset[mover]);
      bbAllPiece ^= 1ULL << victim;
    }
    const u64 victimBit = 1ULL << victim;
    bbColorPiece[other] ^= victimBit;
    bbPiece[other * 7 + captured] ^= victimBit;
    pieceArray[victim] = (u8)captured;
  }

  // 7. The castling rook returns to its corner.
  if (m & MOVE_CASTLE) {
    const bool kingSide = to == homeRank[mover] + 6;
    const unsigned rookFrom = homeRank[mover] + (kingSide ? 7 : 0);
    const unsigned rookTo = homeRank[mover] + (kingSide ? 5 : 3);
    const u64 rookBits = (1ULL << rookFrom) | (1ULL << rookTo);
    bbColorPiece[mover] ^= rookBits;
    bbPiece[mover * 7 + ROOK] ^= rookBits;
    bbAllPiece ^= rookBits;
    pieceArray[rookTo] = 0;
    pieceArray[rookFrom] = ROOK;
  }

  // 8.
  if (piece == KING) kingSquare[mover] = (u8)from;

  // 9. Key, rights, en-passant file and counter as they were.
  hashKey = undo.hashKey;
  castleRights = undo.castleRights;
  enPassantFile = undo.enPassantFile;
  halfMoveClock = undo.halfMoveClock;
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
