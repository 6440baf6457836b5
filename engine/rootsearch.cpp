// Root search: one iteration of the think's iterative deepening.
//
// Unlike an inner node the root re-scores its moves with a quiescence search
// each time (the previous best move first), reports its moves to the
// front-end once the think has lasted a second, and tells the think whether
// the position has one legal move or none. It does no draw test, table
// probe, null move, internal deepening, futility pruning or reduction.
#include "engine/chessboard.h"
#include "engine/search.h"

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
    clearLine(rootLine);
    node.nodeState = inCheck ? NODE_MATE : NODE_STALEMATE;
    rootLine.moves[0].score = inCheck ? -MATE_SCORE : contemptFactor;
    return rootLine.moves[0].score;
  };
  if (count == 0) return noLegalMove();

  // 5-7. Pre-scoring: each legal move by the quiescence value after it, the
  //      previous iteration's best move above all, illegal moves last; best
  //      keys first.
  orderMoves_root(list, count, 0);
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
    // No mate threat is known at the root.
    int newDepth = depth - ONE_PLY + searchExtension(m, list[i].score, givesCheck, 0);

    // The child's line starts empty, so that no line of another subtree
    // can follow this move into the root line.
    clearLine(childLine);

    // Each child search runs only while the think goes on; a stopped one
    // leaves no trace: its result is dropped and the position restored.
    int score;
    if (movesSearched == 0) {
      child.nodeType = PV_NODE;
      score = searchChild(newDepth, best, beta, 1, 1, 0);
    } else {
      child.nodeType = CUT_NODE;
      score = searchChild(newDepth, best, best + 1, givesCheck, 1, 0);
      if (!stopSearch && score > best && score < beta) {
        child.nodeType = PV_NODE;
        clearLine(childLine);
        score = searchChild(newDepth, best, beta, 1, 1, 0);
      }
    }
    node.unMakeMove(m);
    if (stopSearch) return 0;
    movesSearched++;

    // 8.10. Cut-off: store it and feed the ordering tables.
    if (score >= beta) {
      storeCutoff(m, depth, beta, score, 0);
      return beta;
    }
    // 8.11. A new best move: the root line is this move and the child's line.
    if (score > best) {
      updateLine(rootLine, childLine, m, score, 0);
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
