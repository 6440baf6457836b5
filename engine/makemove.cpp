// Make and unmake: a move is played on the position record incrementally
// (bitboards, piece board, rights, counters, material, phase, piece-square
// sums and key) and taken back exactly from the undo record. The short
// paths of quiet moves and plain captures are inline in node.h; here are
// the long paths of promotions, castling and en passant.
#include <cstddef>
#include <cstring>

#include "engine/bitboard.h"
#include "engine/log.h"
#include "engine/node.h"
#include "engine/pst.h"

namespace {

// Square of the first rank of each colour: a8 for black, a1 for white.
const unsigned homeRank[2] = {56, 0};

// The piece-square tables as rows by composite piece index.
const i32* const pstMiddlegameOf = &piece_square_table_middlegame[0][0][0];
const i32* const pstEndgameOf = &piece_square_table_endgame[0][0][0];
const u8* const rightsLostBy = castleRightsLost.lost;

// The undo record starts with a copy of the position record's fields from
// hashKey to halfMoveClock and of pieceCount[0] (composite index 0 holds no
// piece, so the count stays 0 and restoring it changes nothing).
#define SAME_PLACE(field)                                                              \
  static_assert(offsetof(ChessBoardNode, field) - offsetof(ChessBoardNode, hashKey) == \
                    offsetof(ChessMoveUndo, field),                                    \
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
#undef SAME_PLACE
static_assert(offsetof(ChessBoardNode, pieceCount) - offsetof(ChessBoardNode, hashKey) ==
                  offsetof(ChessMoveUndo, spare),
              "undo record out of order: spare");
static_assert(offsetof(ChessMoveUndo, move) == 56, "the saved block is 56 bytes");

}  // namespace

// Steps 3 to 11 of a promotion, castling or en-passant capture, once the
// undo record is written (node.h holds the short path of the other moves).
void ChessBoardNode::playSpecialMove(u32 m) {
  const unsigned piece = (m >> 12) & 7;
  const unsigned from = m & 63, to = (m >> 6) & 63;
  const unsigned captured = (m >> 15) & 7;
  const unsigned promotion = (m >> 18) & 7;
  const unsigned side = sideToMove, opp = side ^ 1;
  const unsigned own = side * 7;
  const u64* keys = zobrist.keyOf[0];

  // 3. Fifty-move counter (the moving piece is the one on the from-square).
  halfMoveClock = (captured || piece == PAWN) ? 0 : (u8)(halfMoveClock + 1);

  // 5, 8 and 11. The old en-passant file leaves the key, the side key
  //    enters it (no move here opens a file).
  u64 key = hashKey ^ zobrist.sideKey;
  if (enPassantFile) {
    key ^= zobrist.epKeys[enPassantFile - 1];
    enPassantFile = 0;
  }

  // 4 and 7. Lift the mover and place it, or the promotion piece, on the
  //    target. A plain capture leaves the target square occupied.
  const unsigned placed = promotion ? promotion : piece;
  const unsigned fromIndex = (own + piece) * 64 + from;
  const unsigned toIndex = (own + placed) * 64 + to;
  const u64 fromBit = 1ULL << from, toBit = 1ULL << to;
  key ^= keys[fromIndex] ^ keys[toIndex];
  pstMiddlegame[side] += pstMiddlegameOf[toIndex] - pstMiddlegameOf[fromIndex];
  pstEndgame[side] += pstEndgameOf[toIndex] - pstEndgameOf[fromIndex];
  bbColorPiece[side] ^= fromBit | toBit;
  bbPiece[own + piece] ^= fromBit;
  bbPiece[own + placed] ^= toBit;
  bbAllPiece ^= fromBit | ((captured && !(m & MOVE_EN_PASSANT)) ? 0 : toBit);
  pieceArray[from] = 0;
  pieceArray[to] = (u8)placed;

  // 10. Castle rights lost by the mover (a king, a rook from its corner).
  unsigned rightsLost = rightsLostBy[fromIndex];
  if (piece == KING) kingSquare[side] = (u8)to;

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
    rightsLost |= rightsLostBy[victimIndex];
  }
  // 7 (promotion). The pawn becomes the promotion piece.
  if (promotion) {
    phaseSum[side] += PieceGamePhaseValue[promotion];
    material[side] += PieceCaptureValue[promotion] - PieceCaptureValue[PAWN];
    pieceCount[own + PAWN]--;
    pieceCount[own + promotion]++;
  }
  // 9. Castling moves the rook too: h-file rook to the f-file (king side),
  //    a-file rook to the d-file (queen side).
  if (m & MOVE_CASTLE) {
    const bool kingSide = from < to;
    const unsigned rookFrom = homeRank[side] + (kingSide ? 7 : 0);
    const unsigned rookTo = homeRank[side] + (kingSide ? 5 : 3);
    const unsigned rookIndex = (own + ROOK) * 64;
    const u64 rookBits = (1ULL << rookFrom) | (1ULL << rookTo);
    pstMiddlegame[side] +=
        pstMiddlegameOf[rookIndex + rookTo] - pstMiddlegameOf[rookIndex + rookFrom];
    pstEndgame[side] += pstEndgameOf[rookIndex + rookTo] - pstEndgameOf[rookIndex + rookFrom];
    bbColorPiece[side] ^= rookBits;
    bbPiece[own + ROOK] ^= rookBits;
    bbAllPiece ^= rookBits;
    key ^= keys[rookIndex + rookFrom] ^ keys[rookIndex + rookTo];
    pieceArray[rookFrom] = 0;
    pieceArray[rookTo] = ROOK;
  }
  // 11. The phase changes with the material only.
  gamePhase = gamePhaseOf(phaseSum[BLACK] + phaseSum[WHITE]);

  // 10. Each right still held and now lost leaves the key.
  rightsLost &= castleRights;
  castleRights = (u8)(castleRights ^ rightsLost);
  hashKey = key ^ zobrist.castleCombo[rightsLost];

  // 13. The other side is to move.
  opponent = side;
  sideToMove = opp;
}

// Steps 2 to 7 of unmake for a promotion, castling or en-passant capture,
// once the saved block is restored (the mover is to move).
void ChessBoardNode::takeBackSpecialMove(u32 m) {
  const unsigned piece = (m >> 12) & 7;
  const unsigned from = m & 63, to = (m >> 6) & 63;
  const unsigned captured = (m >> 15) & 7, promotion = (m >> 18) & 7;
  const unsigned mover = sideToMove, other = mover ^ 1;
  const unsigned own = mover * 7;
  const u64 fromBit = 1ULL << from, toBit = 1ULL << to;

  // 2-4 and 6. Lift what stands on the target (the promotion piece or the
  //    mover) and put the mover back.
  const unsigned placed = promotion ? promotion : piece;
  bbPiece[own + placed] ^= toBit;
  bbPiece[own + piece] ^= fromBit;
  bbColorPiece[mover] ^= fromBit | toBit;
  bbAllPiece ^= fromBit | ((captured && !(m & MOVE_EN_PASSANT)) ? 0 : toBit);
  pieceArray[to] = 0;
  pieceArray[from] = (u8)piece;
  if (promotion) {
    pieceCount[own + promotion]--;
    pieceCount[own + PAWN]++;
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
    bbPiece[own + ROOK] ^= rookBits;
    bbAllPiece ^= rookBits;
    pieceArray[rookTo] = 0;
    pieceArray[rookFrom] = ROOK;
  }
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
