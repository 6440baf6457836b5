// Pseudo-legal move generation and the attack tests it needs. Legality is
// decided by makeMove. Every walk over a set of squares takes the lowest
// square first, which fixes the order of the moves in a list.
#include "engine/bitboard.h"
#include "engine/node.h"

namespace {

// Promotion pieces in the order they are generated.
const unsigned promotionOrder[4] = {QUEEN, ROOK, KNIGHT, BISHOP};

// The four castling moves (the rook's move is implied).
const u32 CASTLE_WHITE_KING_SIDE = 0x206184;   // e1-g1
const u32 CASTLE_WHITE_QUEEN_SIDE = 0x206084;  // e1-c1
const u32 CASTLE_BLACK_KING_SIDE = 0x206FBC;   // e8-g8
const u32 CASTLE_BLACK_QUEEN_SIDE = 0x206EBC;  // e8-c8

// Squares of the castling rules.
const unsigned A1 = 0, B1 = 1, C1 = 2, D1 = 3, E1 = 4, F1 = 5, G1 = 6, H1 = 7;
const unsigned A8 = 56, B8 = 57, C8 = 58, D8 = 59, E8 = 60, F8 = 61, G8 = 62, H8 = 63;

// Appends moves to a list and stops at its room.
struct MoveWriter {
  ChessMoveSort* list;
  unsigned count;
  unsigned room;

  void add(u32 move) {
    if (count < room) list[count++].move = move;
  }
  // A pawn move to the last rank becomes the four promotions.
  void addPromotions(u32 move) {
    for (unsigned p : promotionOrder) add(move | (p << 18));
  }
};

template <unsigned Type>
inline u64 pieceAttacks(unsigned square, u64 occupancy) {
  switch (Type) {
    case KNIGHT: return bbKnightAttack[square];
    case BISHOP: return bishopAttacks(square, occupancy);
    case ROOK: return rookAttacks(square, occupancy);
    case QUEEN: return queenAttacks(square, occupancy);
    default: return bbKingAttack[square];
  }
}

// Moves of every piece of one type of the side to move onto the target set:
// pieces by ascending square, each one's targets by ascending square. The
// board's sets come in by value, so the list's writes cannot make them be
// read again.
template <unsigned Type, bool Captures>
inline void addPieceMoves(MoveWriter& w, const ChessBoardNode& node, const u64* own, u64 occupancy,
                          u64 targets) {
  u64 pieces = own[Type];
  while (pieces) {
    const unsigned from = popFirstSquare(pieces);
    u64 to = pieceAttacks<Type>(from, occupancy) & targets;
    while (to) {
      const unsigned sq = popFirstSquare(to);
      w.add(ChessMove::make(from, sq, Type, Captures ? node.pieceArray[sq] : 0));
    }
  }
}

}  // namespace

int ChessBoardNode::isPinned(unsigned square, int colour) {
  const unsigned king = kingSquare[colour];
  const unsigned base = (unsigned)(colour ^ 1) * 7;
  u64 line, sliders;
  // 1-2. The attack set from the square along its line with the king.
  switch (direction[square][king]) {
    case 1:
      line = rookAttacks(square, bbAllPiece) & bbFile[square & 7];
      sliders = bbPiece[base + ROOK] | bbPiece[base + QUEEN];
      break;
    case 2:
      line = rookAttacks(square, bbAllPiece) & bbRank[square >> 3];
      sliders = bbPiece[base + ROOK] | bbPiece[base + QUEEN];
      break;
    case 3:
      line = bishopAttacks(square, bbAllPiece) & bbDiag45R[square];
      sliders = bbPiece[base + BISHOP] | bbPiece[base + QUEEN];
      break;
    case 4:
      line = bishopAttacks(square, bbAllPiece) & bbDiag45L[square];
      sliders = bbPiece[base + BISHOP] | bbPiece[base + QUEEN];
      break;
    default: return 0;
  }
  // 3. Something stands between the square and the king.
  if (!(line & (1ULL << king))) return 0;
  // 4. An enemy slider of the line's kind bears on the square from the far side.
  return (line & sliders) != 0;
}

// The pieces of `mine` that stand alone between the king on `king` and a
// slider of `rookLike` (rooks, queens) or `bishopLike` (bishops, queens)
// aimed at it along a line of that kind. Moving such a piece off its line
// can uncover an attack on the king: with the side to move's king and the
// enemy sliders they are its pinned pieces, with the enemy king and its own
// sliders the pieces that can give a discovered check.
//
// A slider behind exactly one of these pieces shows up once that first layer
// is taken off the board; the piece it is pinned through is then the one
// square both it and the king see.
u64 ChessBoardNode::loneBlockers(unsigned king, u64 mine, u64 rookLike, u64 bishopLike) const {
  const u64 occ = bbAllPiece;
  u64 result = 0;
  const u64 rookView = rookAttacks(king, occ);
  const u64 rookFirst = rookView & mine;
  u64 behind = rookAttacks(king, occ ^ rookFirst) & ~rookView & rookLike;
  while (behind) result |= rookAttacks(popFirstSquare(behind), occ) & rookFirst;
  const u64 bishopView = bishopAttacks(king, occ);
  const u64 bishopFirst = bishopView & mine;
  behind = bishopAttacks(king, occ ^ bishopFirst) & ~bishopView & bishopLike;
  while (behind) result |= bishopAttacks(popFirstSquare(behind), occ) & bishopFirst;
  return result;
}

void ChessBoardNode::generateMovesC(ChessMoveSort* list, unsigned* count) {
  MoveWriter w = {list, 0, MAX_MOVES};
  const unsigned side = sideToMove;
  const u64 enemy = bbColorPiece[opponent];
  const u64* own = &bbPiece[side * 7];
  const u64 occupancy = bbAllPiece;

  // 1. Captures by pieces, then by the king.
  addPieceMoves<KNIGHT, true>(w, *this, own, occupancy, enemy);
  addPieceMoves<BISHOP, true>(w, *this, own, occupancy, enemy);
  addPieceMoves<ROOK, true>(w, *this, own, occupancy, enemy);
  addPieceMoves<QUEEN, true>(w, *this, own, occupancy, enemy);
  addPieceMoves<KING, true>(w, *this, own, occupancy, enemy);

  // 2-3. Pawns: push promotions, captures (promoting on the last rank),
  //      then en passant.
  const u64 pawns = bbPiece[side * 7 + PAWN];
  const u64 lastRank = side == WHITE ? bbRank[7] : bbRank[0];
  u64 pushes = side == WHITE ? ((pawns & bbRank[6]) << 8) & ~bbAllPiece
                             : ((pawns & bbRank[1]) >> 8) & ~bbAllPiece;
  while (pushes) {
    const unsigned to = popFirstSquare(pushes);
    w.addPromotions(ChessMove::make(side == WHITE ? to - 8 : to + 8, to, PAWN));
  }
  // Only the pawns with something to take, found for all pawns at once.
  const u64 fileA = bbFile[0], fileH = bbFile[7];
  u64 attackers =
      side == WHITE
          ? ((((pawns & ~fileA) << 7) & enemy) >> 7) | ((((pawns & ~fileH) << 9) & enemy) >> 9)
          : ((((pawns & ~fileA) >> 9) & enemy) << 9) | ((((pawns & ~fileH) >> 7) & enemy) << 7);
  while (attackers) {
    const unsigned from = popFirstSquare(attackers);
    u64 targets = bbPawnAttack[side][from] & enemy;
    while (targets) {
      const unsigned to = popFirstSquare(targets);
      const u32 move = ChessMove::make(from, to, PAWN, pieceArray[to]);
      if (lastRank & (1ULL << to))
        w.addPromotions(move);
      else
        w.add(move);
    }
  }
  if (enPassantFile) {
    const unsigned target = (enPassantFile - 1) + (side == WHITE ? 40 : 16);
    u64 takers = bbPawnAttack[side ^ 1][target] & pawns;
    while (takers)
      w.add(ChessMove::make(popFirstSquare(takers), target, PAWN, PAWN) | MOVE_EN_PASSANT);
  }

  // 4. Quiet moves appended right behind this list share its room.
  capturesEnd = list + w.count;
  capturesCount = w.count;
  *count = w.count;
}

int ChessBoardNode::generateMovesNC(ChessMoveSort* list, unsigned* count) {
  const unsigned room = list == capturesEnd ? MAX_MOVES - capturesCount : MAX_MOVES;
  capturesEnd = nullptr;
  MoveWriter w = {list, 0, room};
  const unsigned side = sideToMove;
  const int opp = (int)opponent;
  const u64 occupancy = bbAllPiece;
  const u64 empty = ~occupancy;
  const u64* own = &bbPiece[side * 7];

  // 1. Quiet moves of the pieces, then of the king.
  addPieceMoves<KNIGHT, false>(w, *this, own, occupancy, empty);
  addPieceMoves<BISHOP, false>(w, *this, own, occupancy, empty);
  addPieceMoves<ROOK, false>(w, *this, own, occupancy, empty);
  addPieceMoves<QUEEN, false>(w, *this, own, occupancy, empty);
  addPieceMoves<KING, false>(w, *this, own, occupancy, empty);

  // 2. Castling by the rights, king side first. The squares between king and
  //    rook must be empty and the king's squares unattacked (tested in order).
  if (side == WHITE) {
    if ((castleRights & CASTLE_WK) && !(bbAllPiece & ((1ULL << F1) | (1ULL << G1))) &&
        !isAttacked(E1, opp) && !isAttacked(F1, opp) && !isAttacked(G1, opp))
      w.add(CASTLE_WHITE_KING_SIDE);
    if ((castleRights & CASTLE_WQ) &&
        !(bbAllPiece & ((1ULL << B1) | (1ULL << C1) | (1ULL << D1))) && !isAttacked(E1, opp) &&
        !isAttacked(D1, opp) && !isAttacked(C1, opp))
      w.add(CASTLE_WHITE_QUEEN_SIDE);
  } else {
    if ((castleRights & CASTLE_BK) && !(bbAllPiece & ((1ULL << F8) | (1ULL << G8))) &&
        !isAttacked(E8, opp) && !isAttacked(F8, opp) && !isAttacked(G8, opp))
      w.add(CASTLE_BLACK_KING_SIDE);
    if ((castleRights & CASTLE_BQ) &&
        !(bbAllPiece & ((1ULL << B8) | (1ULL << C8) | (1ULL << D8))) && !isAttacked(E8, opp) &&
        !isAttacked(D8, opp) && !isAttacked(C8, opp))
      w.add(CASTLE_BLACK_QUEEN_SIDE);
  }

  // 3-4. Pawn pushes of all pawns at once: single pushes (promotions belong
  //      to the captures), then double pushes.
  const u64 pawns = bbPiece[side * 7 + PAWN];
  u64 single, twice;
  if (side == WHITE) {
    single = ((pawns & ~bbRank[6]) << 8) & empty;
    twice = ((((pawns & bbRank[1]) << 8) & empty) << 8) & empty;
  } else {
    single = ((pawns & ~bbRank[1]) >> 8) & empty;
    twice = ((((pawns & bbRank[6]) >> 8) & empty) >> 8) & empty;
  }
  const int step = side == WHITE ? -8 : 8;
  while (single) {
    const unsigned to = popFirstSquare(single);
    w.add(ChessMove::make(to + step, to, PAWN));
  }
  while (twice) {
    const unsigned to = popFirstSquare(twice);
    w.add(ChessMove::make(to + 2 * step, to, PAWN) | MOVE_DOUBLE_PUSH);
  }

  *count = w.count;
  return (int)w.count;
}

int ChessBoardNode::generateKingEvasion(ChessMoveSort* list) {
  MoveWriter w = {list, 0, MAX_MOVES};
  const unsigned s = sideToMove, opp = opponent;
  const unsigned own = s * 7, enemy = opp * 7;
  const unsigned king = kingSquare[s];
  const u64 occ = bbAllPiece;

  // 1. The pieces that give check.
  const u64 checkers =
      (bbKnightAttack[king] & bbPiece[enemy + KNIGHT]) |
      (bbPawnAttack[s][king] & bbPiece[enemy + PAWN]) |
      (rookAttacks(king, occ) & (bbPiece[enemy + ROOK] | bbPiece[enemy + QUEEN])) |
      (bishopAttacks(king, occ) & (bbPiece[enemy + BISHOP] | bbPiece[enemy + QUEEN]));

  // 2. King moves onto every square not held by an own piece.
  u64 steps = bbKingAttack[king] & ~bbColorPiece[s];
  while (steps) {
    const unsigned to = popFirstSquare(steps);
    w.add(ChessMove::make(king, to, KING, pieceArray[to]));
  }

  // 3. Double check (or none): only the king can move.
  if (!checkers || (checkers & (checkers - 1))) return (int)w.count;

  const unsigned checker = firstSquare(checkers);
  const u64 checkerBit = checkers;
  const unsigned type = pieceArray[checker];
  const u64 pawns = bbPiece[own + PAWN];
  const u64 empty = ~occ;
  const u64 lastRank = s == WHITE ? bbRank[7] : bbRank[0];
  const int step = s == WHITE ? -8 : 8;

  // 4. Blocks of a distant slider: moves onto the squares between it and the
  //    king (isPinned of an empty square says it lies on that open line).
  if ((type == BISHOP || type == ROOK || type == QUEEN) && !(bbKingAttack[king] & checkerBit)) {
    const u64 inLine = queenAttacks(king, 0);
    // 4.1 Single pushes, promoting on the last rank.
    u64 single = (s == WHITE ? pawns << 8 : pawns >> 8) & empty & inLine;
    while (single) {
      const unsigned to = popFirstSquare(single);
      if (!isPinned(to, (int)s)) continue;
      const u32 move = ChessMove::make(to + step, to, PAWN);
      if (lastRank & (1ULL << to))
        w.addPromotions(move);
      else
        w.add(move);
    }
    // 4.2 Double pushes through an empty square.
    u64 twice = s == WHITE ? ((((pawns << 8) & empty) << 8) & empty & bbRank[3])
                           : ((((pawns >> 8) & empty) >> 8) & empty & bbRank[4]);
    twice &= inLine;
    while (twice) {
      const unsigned to = popFirstSquare(twice);
      if (isPinned(to, (int)s)) w.add(ChessMove::make(to + 2 * step, to, PAWN) | MOVE_DOUBLE_PUSH);
    }
    // 4.3 Pieces.
    const u64 targets = ~bbColorPiece[s] & ~checkerBit & inLine;
    static const unsigned pieceOrder[4] = {KNIGHT, BISHOP, ROOK, QUEEN};
    for (unsigned p : pieceOrder) {
      u64 pieces = bbPiece[own + p];
      while (pieces) {
        const unsigned from = popFirstSquare(pieces);
        u64 to = (p == KNIGHT   ? bbKnightAttack[from]
                  : p == BISHOP ? bishopAttacks(from, occ)
                  : p == ROOK   ? rookAttacks(from, occ)
                                : queenAttacks(from, occ)) &
                 targets;
        while (to) {
          const unsigned sq = popFirstSquare(to);
          if (isPinned(sq, (int)s)) w.add(ChessMove::make(from, sq, p, pieceArray[sq]));
        }
      }
    }
  }

  // 5. Captures of the checker.
  // 5.1 By pawns, promoting on the last rank.
  u64 takers = bbPawnAttack[opp][checker] & pawns;
  while (takers) {
    const u32 move = ChessMove::make(popFirstSquare(takers), checker, PAWN, type);
    if (lastRank & checkerBit)
      w.addPromotions(move);
    else
      w.add(move);
  }
  // 5.2 En passant, when the checker is the pawn that has just pushed twice.
  if (enPassantFile) {
    const unsigned target = (enPassantFile - 1) + (s == WHITE ? 40 : 16);
    if ((int)checker == (int)target + step) {
      u64 epTakers = bbPawnAttack[opp][target] & pawns;
      while (epTakers)
        w.add(ChessMove::make(popFirstSquare(epTakers), target, PAWN, PAWN) | MOVE_EN_PASSANT);
    }
  }
  // 5.3 By knights, bishops, rooks, then queens.
  const u64 byType[4] = {bbKnightAttack[checker] & bbPiece[own + KNIGHT],
                         bishopAttacks(checker, occ) & bbPiece[own + BISHOP],
                         rookAttacks(checker, occ) & bbPiece[own + ROOK],
                         queenAttacks(checker, occ) & bbPiece[own + QUEEN]};
  static const unsigned takerOrder[4] = {KNIGHT, BISHOP, ROOK, QUEEN};
  for (unsigned i = 0; i < 4; i++) {
    u64 from = byType[i];
    while (from) w.add(ChessMove::make(popFirstSquare(from), checker, takerOrder[i], type));
  }
  return (int)w.count;
}

int ChessBoardNode::generateMoves(ChessMoveSort* list, unsigned* count, int inCheck) {
  unsigned n;
  if (inCheck) {
    n = (unsigned)generateKingEvasion(list);
    nodeState = NODE_CHECK;
  } else {
    unsigned captures = 0, quiet = 0;
    generateMovesC(list, &captures);
    generateMovesNC(list + captures, &quiet);
    n = captures + quiet;
    nodeState = NODE_NORMAL;
  }
  *count = n;
  return (int)n;
}

int ChessBoardNode::validMove(ChessMove move) {
  const u32 m = move.move;
  const unsigned s = sideToMove, opp = opponent;
  const unsigned from = move.from(), to = move.to(), p = move.piece(), x = move.captured();
  const u64 toBit = 1ULL << to;
  // Bits 21 and up: the castle, double-push and en-passant flags, markers.
  const u32 flags = m >> 21;

  // 1. A piece of that type on the from-square (the empty move fails here).
  if (p < PAWN || p > KING || !(bbPiece[s * 7 + p] & (1ULL << from))) return 0;

  // 2. En passant: the one word the generator writes for a pawn that
  //    attacks the target square, an enemy pawn behind the empty target.
  if (move.isEnPassant()) {
    if (!enPassantFile) return 0;
    const unsigned target = (enPassantFile - 1) + (s == WHITE ? 40 : 16);
    if (m != (ChessMove::make(from, target, PAWN, PAWN) | MOVE_EN_PASSANT)) return 0;
    if (!(bbPawnAttack[s ^ 1][target] & (1ULL << from)) || (bbAllPiece & toBit)) return 0;
    const unsigned behind = s == WHITE ? to - 8 : to + 8;
    return (bbPiece[opp * 7 + PAWN] & (1ULL << behind)) != 0;
  }

  // 3. Castling: one of the four words (checked by its rule below).
  const bool castle = m == CASTLE_WHITE_KING_SIDE || m == CASTLE_WHITE_QUEEN_SIDE ||
                      m == CASTLE_BLACK_KING_SIDE || m == CASTLE_BLACK_QUEEN_SIDE;
  if (move.isCastle() && !castle) return 0;

  // 4. The target holds an enemy piece of the captured type, or nothing.
  if (x ? !(x <= KING && (bbPiece[opp * 7 + x] & toBit)) : (bbAllPiece & toBit) != 0) return 0;

  // 5. A pawn goes forward by its colour: a capture to an attacked square,
  //    a push to the square ahead or a double push from its second rank,
  //    promoting (to a knight, bishop, rook or queen) exactly when it
  //    reaches the last rank.
  if (p == PAWN) {
    const unsigned promotion = move.promotion();
    const bool lastRank = (to >> 3) == (s == WHITE ? 7u : 0u);
    if (lastRank ? (promotion < KNIGHT || promotion > QUEEN) : promotion != 0) return 0;
    const int ahead = s == WHITE ? 8 : -8;
    if (x) return flags == 0 && (bbPawnAttack[s][from] & toBit) != 0;
    if (flags == (MOVE_DOUBLE_PUSH >> 21)) {
      const unsigned passed = (unsigned)((int)from + ahead);
      return (from >> 3) == (s == WHITE ? 1u : 6u) && (int)to == (int)from + 2 * ahead &&
             !(bbAllPiece & (1ULL << passed));
    }
    return flags == 0 && (int)to == (int)from + ahead;
  }

  // 6. Any other piece moves by its pattern (sliders along free lines),
  //    with no promotion and no flag.
  if (!castle) {
    if (m >> 18) return 0;
    switch (p) {
      case KNIGHT: return (bbKnightAttack[from] & toBit) != 0;
      case BISHOP: return (bishopAttacks(from, bbAllPiece) & toBit) != 0;
      case ROOK: return (rookAttacks(from, bbAllPiece) & toBit) != 0;
      case QUEEN: return (queenAttacks(from, bbAllPiece) & toBit) != 0;
      default: return (bbKingAttack[from] & toBit) != 0;
    }
  }

  // 7. Castling: not out of check, the king at home, and the rule of its
  //    target square.
  if (isAttacked(kingSquare[s], (int)opp)) return 0;
  if (pieceArray[s == WHITE ? E1 : E8] != KING) return 0;
  const u64 ownRooks = bbPiece[s * 7 + ROOK];
  auto empty = [this](unsigned sq) { return !(bbAllPiece & (1ULL << sq)); };
  const int o = (int)opp;
  if (s == WHITE && to == G1)
    return (castleRights & CASTLE_WK) && empty(F1) && (ownRooks & (1ULL << H1)) &&
           !isAttacked(F1, o) && !isAttacked(G1, o);
  if (s == WHITE && to == C1)
    return (castleRights & CASTLE_WQ) && empty(B1) && empty(D1) && (ownRooks & (1ULL << A1)) &&
           !isAttacked(D1, o) && !isAttacked(C1, o);
  if (s == BLACK && to == G8)
    return (castleRights & CASTLE_BK) && empty(F8) && (ownRooks & (1ULL << H8)) &&
           !isAttacked(F8, o) && !isAttacked(G8, o);
  if (s == BLACK && to == C8)
    return (castleRights & CASTLE_BQ) && empty(B8) && empty(D8) && (ownRooks & (1ULL << A8)) &&
           !isAttacked(D8, o) && !isAttacked(C8, o);
  return 0;
}
