// Perft and divide: count every path of legal moves from the game position
// to a fixed depth, classify the moves made at the last ply, and split the
// count by the first move. They check the move generator and make/unmake
// against published figures.
//
// The per-ply move lists are indexed by the remaining depth, so these walks
// must not run while a search is under way.
#include "engine/perft.h"

#include <cstdio>
#include <cstring>

#include "engine/chessboard.h"
#include "engine/log.h"

u64 countnode = 0;
u64 countcapture = 0;
u64 countep = 0;
u64 countpromotion = 0;
u64 countcastle = 0;
u64 countcheck = 0;
u64 countmate = 0;

u64 perftNode[64][8];
DivideEntry listDivide[MAX_DIVIDE_ENTRIES];
u32 nbDivide = 0;

void clearPerftCounters() {
  countnode = countcapture = countep = countpromotion = 0;
  countcastle = countcheck = countmate = 0;
}

void storePerftRow(int row) {
  if (row < 0 || row > 63) return;
  u64* r = perftNode[row];
  r[PERFT_NODES] = countnode;
  r[PERFT_CAPTURES] = countcapture;
  r[PERFT_EP] = countep;
  r[PERFT_CHECKS] = countcheck;
  r[PERFT_MATES] = countmate;
  r[PERFT_PROMOTIONS] = countpromotion;
  r[PERFT_CASTLES] = countcastle;
}

namespace {

// Builds the full pseudo-legal list of a position (evasions when in check,
// else captures then quiet moves) and sets its nodeState.
inline unsigned buildList(ChessBoardNode& node, ChessMoveSort* list, bool inCheck) {
  unsigned count = 0;
  node.generateMoves(list, &count, inCheck ? 1 : 0);
  return count;
}

inline bool sideToMoveInCheck(ChessBoardNode& node) {
  return node.isAttacked(node.kingSquare[node.sideToMove], (int)node.opponent) != 0;
}

// Move-word fields of the moves the filters below do not judge: castling,
// en passant and promotions go through the full tests.
const u32 SPECIAL_MOVE = ChessBoardNode::SPECIAL_MOVE;
// Move-word fields that some statistic besides the leaf count looks at.
const u32 COUNTED_FIELDS = SPECIAL_MOVE | ChessBoardNode::CAPTURE_FIELD;

// Legality without the attack test. When the side to move is not in check,
// a move other than a king move or an en-passant capture changes the
// attacks on its own king only by the square it leaves (the target square
// stays or becomes occupied, and a captured piece only stops attacking), so
// it is legal unless that square held a pinned piece. `tested` holds the
// from-squares whose moves still need makeMove's attack test: the king and
// the pinned pieces, or every square when in check.
struct LegalityFilter {
  u64 tested;

  LegalityFilter(ChessBoardNode& node, bool inCheck) : tested(~0ULL) {
    if (inCheck) return;
    const unsigned side = node.sideToMove, enemy = node.opponent * 7;
    const u64 queens = node.bbPiece[enemy + QUEEN];
    tested = (1ULL << node.kingSquare[side]) |
             node.loneBlockers(node.kingSquare[side], node.bbColorPiece[side],
                               node.bbPiece[enemy + ROOK] | queens,
                               node.bbPiece[enemy + BISHOP] | queens);
  }
  // Makes a plain move (no SPECIAL_MOVE field); 1 when legal, as makeMove.
  int makePlain(ChessBoardNode& node, ChessMove m) const {
    return (tested & (1ULL << m.from())) ? node.makeMove(m) : node.makeLegalMove(m);
  }
  // Makes any move of the list; 1 when legal.
  int make(ChessBoardNode& node, ChessMove m) const {
    return (m.move & SPECIAL_MOVE) ? node.makeMove(m) : makePlain(node, m);
  }
};

// Which plain moves of the side to move may give check: a move that gives
// none of these signs certainly leaves the enemy king unattacked, the
// others go through isAttacked. A plain move attacks the enemy king only
// from its target square, as a piece that attacks the king from there
// (`direct` by moving piece, computed with the occupancy before the move:
// the square the piece leaves could only open its own line if it already
// attacked the king, which a legal position rules out), or by uncovering a
// slider behind the square it leaves (`discoverers`). In a position whose
// enemy king is already attacked (not legal) every move is tested.
struct CheckFilter {
  u64 direct[7];
  u64 discoverers;

  explicit CheckFilter(const ChessBoardNode& node) {
    const unsigned side = node.sideToMove, enemy = node.opponent;
    const unsigned king = node.kingSquare[enemy];
    const unsigned own = side * 7;
    const u64 occ = node.bbAllPiece;
    const u64 queens = node.bbPiece[own + QUEEN];
    const u64 rookLike = node.bbPiece[own + ROOK] | queens;
    const u64 bishopLike = node.bbPiece[own + BISHOP] | queens;
    direct[NOPIECE] = 0;
    direct[PAWN] = bbPawnAttack[enemy][king];
    direct[KNIGHT] = bbKnightAttack[king];
    direct[BISHOP] = bishopAttacks(king, occ);
    direct[ROOK] = rookAttacks(king, occ);
    direct[QUEEN] = direct[BISHOP] | direct[ROOK];
    direct[KING] = 0;
    discoverers = node.loneBlockers(king, node.bbColorPiece[side], rookLike, bishopLike);
    if ((direct[PAWN] & node.bbPiece[own + PAWN]) ||
        (direct[KNIGHT] & node.bbPiece[own + KNIGHT]) || (direct[BISHOP] & bishopLike) ||
        (direct[ROOK] & rookLike) || (bbKingAttack[king] & node.bbPiece[own + KING]))
      discoverers = ~0ULL;
  }
  bool mayCheck(ChessMove m) const {
    return ((direct[m.piece()] >> m.to()) | (discoverers >> m.from())) & 1;
  }
};

}  // namespace

void ChessBoard::perft(int depth, int x) {
  if (depth < 1 || depth > MAX_DIVIDE_DEPTH) return;
  ChessBoardNode& node = currentNode;
  ChessMoveSort* list = plyMoveList[depth].moves;
  const bool inCheck = sideToMoveInCheck(node);
  const unsigned count = buildList(node, list, inCheck);
  const LegalityFilter legality(node, inCheck);

  if (depth > 1) {
    for (unsigned i = 0; i < count; i++) {
      ChessMove m = list[i].move;
      if (legality.make(node, m)) perft(depth - 1, x + (int)count);
      node.unMakeMove(m);
    }
    return;
  }

  // Last ply: classify every legal move. A check is decided on the position
  // after the move, so discovered and double checks count once; a check is a
  // mate when no evasion is legal.
  const CheckFilter checks(node);
  for (unsigned i = 0; i < count; i++) {
    ChessMove m = list[i].move;
    bool legal, mayCheck;
    if (m.move & SPECIAL_MOVE) {
      legal = node.makeMove(m) != 0;
      mayCheck = true;
    } else {
      legal = legality.makePlain(node, m) != 0;
      mayCheck = checks.mayCheck(m);
    }
    if (legal) {
      countnode++;
      if (m.move & COUNTED_FIELDS) {
        if (m.captured()) countcapture++;
        if (m.isEnPassant()) countep++;
        if (m.promotion()) countpromotion++;
        if (m.isCastle()) countcastle++;
      }
      if (mayCheck && sideToMoveInCheck(node)) {
        countcheck++;
        ChessMoveSort* evasions = plyMoveList[0].moves;
        unsigned n = (unsigned)node.generateKingEvasion(evasions);
        node.nodeState = NODE_CHECK;
        bool escape = false;
        for (unsigned j = 0; j < n && !escape; j++) {
          escape = node.makeMove(evasions[j].move) != 0;
          node.unMakeMove(evasions[j].move);
        }
        if (!escape) countmate++;
      }
    }
    node.unMakeMove(m);
  }
}

u64 ChessBoard::searchAllMoves(ChessBoardNode* node, int depth, int x) {
  if (depth <= 0) return 1;
  if (depth > MAX_DIVIDE_DEPTH) return 0;
  ChessMoveSort* list = plyMoveList[depth].moves;
  unsigned count = buildList(*node, list, sideToMoveInCheck(*node));
  u64 total = 0;
  for (unsigned i = 0; i < count; i++) {
    ChessMove m = list[i].move;
    if (node->makeMove(m)) total += searchAllMoves(node, depth - 1, x + (int)count);
    node->unMakeMove(m);
  }
  return total;
}

// Splits the count of depth - 1 plies below each first move, where the first
// moves come from per-ply list rootList. Only legal first moves get an
// entry, one after another from entry first on; nbDivide is their number.
static void splitByFirstMove(ChessBoard& board, ChessBoardNode* node, int rootList, int depth,
                             int first) {
  ChessMoveSort* list = board.plyMoveList[rootList].moves;
  unsigned count = buildList(*node, list, sideToMoveInCheck(*node));
  unsigned written = 0;
  for (unsigned i = 0; i < count; i++) {
    ChessMove m = list[i].move;
    if (node->makeMove(m) && first >= 0 && first + written < MAX_DIVIDE_ENTRIES) {
      DivideEntry& e = listDivide[first + written];
      e.count = board.searchAllMoves(node, depth - 1, first + (int)count);
      m.text(e.text);
      written++;
    }
    node->unMakeMove(m);
  }
  nbDivide = written;
}

void ChessBoard::divide(ChessBoardNode* node, int depth, int first) {
  nbDivide = 0;
  if (depth < 1 || depth > MAX_DIVIDE_DEPTH) return;
  splitByFirstMove(*this, node, depth, depth, first);
}

int ChessBoard::doDivide(int depth) {
  nbDivide = 0;
  if (depth >= 0 && depth < MAX_DIVIDE_DEPTH)
    splitByFirstMove(*this, &currentNode, depth + 1, depth + 1, 0);

  Log::print("Divide result :\n");
  Log::startTable(1, 8);
  Log::startTableRow();
  Log::setTableCol("Move", 1, 2);
  Log::setTableCol("Number of child nodes", 1, 2);
  Log::endTableRow();
  for (u32 i = 0; i < nbDivide; i++) {
    char cell[32];
    Log::startTableRow();
    snprintf(cell, sizeof(cell), "%12s", listDivide[i].text);
    Log::setTableCol(cell, 2, 2);
    snprintf(cell, sizeof(cell), "%12llu", (unsigned long long)listDivide[i].count);
    Log::setTableCol(cell, 0, 2);
    Log::endTableRow();
  }
  Log::endTable();
  return 1;
}

void ChessBoard::doPerft(int depth) {
  // 1. A fresh table.
  memset(perftNode, 0, 16 * sizeof(perftNode[0]));
  if (depth > MAX_PERFT_DEPTH) depth = 0;

  // 2. The position under test.
  char fen[128];
  getFENPosition(fen);
  Log::print("Perft result :\n");
  Log::print("\nFEN : %s\n\n", fen);

  // 3. Each depth counted afresh from the root.
  for (int d = 1; d <= depth; d++) {
    clearPerftCounters();
    perft(d, 0);
    storePerftRow(depth + 1 - d);
  }

  // 4-7. The table in the log, then the profiler's summary.
  Log::startTable(1, 8);
  Log::startTableRow();
  static const char* const header[8] = {"Depth", "Nodes", "Captures",  "e.p",
                                        "Check", "Mate",  "Promotion", "Castle"};
  for (const char* h : header) Log::setTableCol(h, 1, 2);
  Log::endTableRow();
  gProfiler.stop("perft");
  static const int columns[7] = {PERFT_NODES, PERFT_CAPTURES,   PERFT_EP,     PERFT_CHECKS,
                                 PERFT_MATES, PERFT_PROMOTIONS, PERFT_CASTLES};
  for (int d = 1; d <= depth; d++) {
    char cell[32];
    Log::startTableRow();
    snprintf(cell, sizeof(cell), "%2d", d);
    Log::setTableCol(cell, 0, 2);
    for (int c : columns) {
      snprintf(cell, sizeof(cell), "%12llu", (unsigned long long)perftNode[depth + 1 - d][c]);
      Log::setTableCol(cell, 0, 2);
    }
    Log::endTableRow();
  }
  Log::endTable();
  gProfiler.dump();
}

int ChessBoard::testHashKey(int depth, int ply) {
  ChessBoardNode& node = currentNode;
  u64 computed = node.createHashKey();
  if (computed == node.hashKey) return 1;

  char computedText[17], keptText[17];
  Zobrist::hashText(computed, computedText);
  Zobrist::hashText(node.hashKey, keptText);
  Log::print(17, "ERROR : Bad HashKey : depth %d : ply %d : board = %s, hash = %s !!!", depth, ply,
             computedText, keptText);
  char fen[128];
  getFENPosition(fen);
  Log::print(8, "%s", fen);

  // The moves that led here, as far as the undo stack holds them.
  char line[256];
  size_t used = 0;
  line[0] = 0;
  unsigned plies = ply < 0 ? 0u : (unsigned)ply;
  if (plies > node.undoCount) plies = node.undoCount;
  for (unsigned i = 0; i < plies && node.undoStack; i++) {
    char text[ALGEBRAIC_TEXT_SIZE];
    node.undoStack[i].move.text(text);
    size_t len = strlen(text);
    if (used + len + 1 >= sizeof(line)) break;
    memcpy(line + used, text, len);
    line[used + len] = ' ';
    used += len + 1;
    line[used] = 0;
  }
  Log::print(1, "%s", line);
  return 0;
}
