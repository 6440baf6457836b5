// Root search: one iteration of the think's iterative deepening.
//
// Unlike an inner node the root re-scores its moves with a quiescence search
// each time (the previous best move first), reports its moves to the
// front-end once the think has lasted a second, and tells the think whether
// the position has one legal move or none. It does no draw test, table
// probe, null move, internal deepening, futility pruning or reduction.
#include <cstdlib>

#include "engine/chessboard.h"
#include "engine/search.h"

namespace {

// Extension of a root move in eighths of a ply, as at inner nodes without
// the mate-threat term: a check, a pawn reaching its seventh rank, and a
// capture of a piece of the mover's own type that the ordering rates as
// not losing.
int rootExtension(ChessMove m, int key, bool givesCheck) {
  int extension = givesCheck ? ONE_PLY : 0;
  unsigned toRank = m.to() >> 3;
  if (m.piece() == PAWN && (toRank == 6 || toRank == 1)) extension += ONE_PLY;
  if (m.captured() != NOPIECE && m.captured() != PAWN && m.captured() == m.piece() &&
      key >= KEY_GOOD_CAPTURE)
    extension += ONE_PLY / 2;
  return extension > ONE_PLY ? ONE_PLY : extension;
}

}  // namespace

int ChessBoard::searchRoot(int depth, int alpha, int beta) {
  ChessBoardNode& node = currentNode;
  PLine& rootLine = node.pvLines[0];
  PLine& childLine = node.pvLines[1];

  // 1-2. The root's own record: in check or not, a PV node.
  rootState = 0;
  int inCheck = node.isAttacked(node.kingSquare[node.sideToMove], node.opponent);
  node.undoStack[node.undoCount].inCheck = (u8)inCheck;
  node.undoStack[node.undoCount].nodeType = PV_NODE;

  // 3. The root moves.
  ChessMoveSort* list = plyMoveList[0].moves;
  unsigned count;
  node.generateMoves(list, &count, inCheck);

  // 4/10. No legal move: mate or stalemate. The empty line carries that
  //       score, which the think reports.
  auto noLegalMove = [&]() {
    rootState = 2;
    rootLine.count = 0;
    rootLine.moves[0].move = 0;
    node.nodeState = inCheck ? NODE_MATE : NODE_STALEMATE;
    rootLine.moves[0].score = inCheck ? -MATE_SCORE : contemptFactor;
    return rootLine.moves[0].score;
  };
  if (count == 0) return noLegalMove();

  // 5. Pre-scoring: each legal move by the quiescence value after it, the
  //    previous iteration's best move above all; illegal moves last.
  for (unsigned i = 0; i < count; i++) {
    ChessMove m = list[i].move;
    int key = KEY_ILLEGAL;
    if (node.makeMove(m)) {
      key = 0;
      if (!stopSearch && checkSearchTime()) key = -alphabeta_quiescent(1, -MATE_SCORE, MATE_SCORE, 1);
      if (m == savedPV.moves[0].move) key = KEY_HASH_MOVE;
    }
    node.unMakeMove(m);
    list[i].score = key;
  }
  // 6-7. Best keys first.
  sortMoves(list, 0, count);
  if (stopSearch) return 0;

  // 8. The move loop.
  int best = alpha;
  int boundType = HASH_UPPER;
  int movesSearched = 0;
  for (unsigned i = 0; i < count; i++) {
    ChessMove m = list[i].move;
    if (!checkSearchTime()) return 0;
    if (!node.makeMove(m)) {
      node.unMakeMove(m);
      if (i + 1 == count) break;
      if (stopSearch) return 0;
      continue;
    }
    if (showCurrentMove) onSearchRootMove(m, movesSearched + 1);

    int givesCheck = node.isAttacked(node.kingSquare[node.sideToMove], node.opponent);
    ChessMoveUndo& child = node.undoStack[node.undoCount];
    child.inCheck = (u8)givesCheck;
    int newDepth = depth - ONE_PLY + rootExtension(m, list[i].score, givesCheck != 0);

    // The child's line starts empty, so that no line of another subtree
    // can follow this move into the root line.
    childLine.count = 0;
    childLine.moves[0].move = 0;

    // Each child search runs only while the think goes on; a stopped one
    // leaves no trace: its result is dropped and the position restored.
    int score = 0;
    if (movesSearched == 0) {
      child.nodeType = PV_NODE;
      if (checkSearchTime())
        score = newDepth < ONE_PLY ? -alphabeta_quiescent(1, -beta, -best, 1)
                                   : -alphabeta(newDepth, -beta, -best, 1, 1);
    } else {
      child.nodeType = CUT_NODE;
      if (checkSearchTime())
        score = newDepth < ONE_PLY ? -alphabeta_quiescent(1, -best - 1, -best, givesCheck)
                                   : -alphabeta(newDepth, -best - 1, -best, 1, 1);
      if (!stopSearch && score > best && score < beta) {
        child.nodeType = PV_NODE;
        childLine.count = 0;
        childLine.moves[0].move = 0;
        if (checkSearchTime())
          score = newDepth < ONE_PLY ? -alphabeta_quiescent(1, -beta, -best, 1)
                                     : -alphabeta(newDepth, -beta, -best, 1, 1);
      }
    }
    node.unMakeMove(m);
    if (stopSearch) return 0;
    movesSearched++;

    // 8.10. Cut-off: store it and feed the ordering tables.
    if (score >= beta) {
      node.hashTable.addNode(node.hashKey, m, depth, HASH_LOWER, beta);
      if (std::abs(score) > MATE_THRESHOLD) mateKiller[0] = m;
      if (m.captured() == NOPIECE && m.promotion() == NOPIECE) {
        if (m != killer1[0]) {
          killer2[0] = killer1[0];
          killer1[0] = m;
        }
        historyTable[node.sideToMove][m.from()][m.to()] += (u32)((depth / 8) * (depth / 8));
      }
      return beta;
    }
    // 8.11. A new best move: the root line is this move and the child's line.
    if (score > best) {
      rootLine.moves[0].move = m;
      rootLine.moves[0].score = score;
      u32 childCount = childLine.count < MAX_PLY - 1 ? childLine.count : MAX_PLY - 1;
      for (u32 k = 0; k < childCount; k++) rootLine.moves[k + 1] = childLine.moves[k];
      rootLine.count = childCount + 1;
      best = score;
      boundType = HASH_EXACT;
    }
  }

  // 9. At least one legal move was searched.
  if (movesSearched > 0) {
    if (movesSearched == 1) rootState = 1;
    node.hashTable.addNode(node.hashKey, rootLine.moves[0].move, depth, boundType, best);
    return best;
  }
  // 10. Every move was illegal.
  return noLegalMove();
}
