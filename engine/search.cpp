// The recursive search below the root: principal-variation alpha-beta in
// negamax form with a transposition table, draws, null move, internal
// iterative deepening, futility pruning, extensions and late-move
// reductions, and the quiescence search over captures beneath it.
//
// A stopped search leaves nothing behind: once stopSearch is set (by a node
// or time limit, or by a command read during the search), every node returns
// 0 right after the child search it was running, without storing into the
// table, touching the killers or history, or copying the interrupted line.
// Such a 0 is no score; the root search and the think driver discard it.
#include <cstring>

#include "engine/chessboard.h"
#include "engine/evaluate.h"
#include "engine/search.h"

const int NEXTNODETYPE[3] = {PV_NODE, ALL_NODE, CUT_NODE};

namespace {

// Starts loading the table slot of a position whose probe is near, so that
// the probe does not wait for memory.
inline void prefetchSlot(const HashTable& table, u64 key) {
  if (table.table) __builtin_prefetch(&table.table[key & table.modulo]);
}

// Moves whose table slots are loaded together, ahead of their turn.
const unsigned PREFETCH_BATCH = 16;

// The index of the earliest move with the highest key in list[first ..
// count - 1], first being the best so far.
inline unsigned highestKey(const ChessMoveSort* list, unsigned first, unsigned count) {
  for (unsigned i = first + 1; i < count; ++i) {
    if (list[i].score > list[first].score) first = i;
  }
  return first;
}

}  // namespace

int ChessBoard::calcMateValue(int score) {
  int plies;
  if (score <= -MATE_THRESHOLD) {
    plies = score + MATE_SCORE;
  } else if (score >= MATE_THRESHOLD) {
    plies = MATE_SCORE - score;
  } else {
    return score;
  }
  return (plies + 1) / 2;
}

int ChessBoard::searchChild(int depth, int alpha, int beta, int exact, int allowNull, int ply) {
  if (!checkSearchTime()) return 0;
  if (depth < ONE_PLY) return -alphabeta_quiescent(ply + 1, -beta, -alpha, exact);
  return -alphabeta(depth, -beta, -alpha, allowNull, ply + 1);
}

void ChessBoard::storeCutoff(ChessMove move, int depth, int beta, int score, int ply) {
  ChessBoardNode& node = currentNode;
  node.hashTable.addNode(node.hashKey, move, depth, HASH_LOWER, beta);
  if (score > MATE_THRESHOLD || score < -MATE_THRESHOLD) mateKiller[ply] = move;
  if (!isQuietMove(move)) return;
  if (move != killer1[ply]) {
    killer2[ply] = killer1[ply];
    killer1[ply] = move;
  }
  const int plies = depth / ONE_PLY;
  historyJournal.raise(&historyTable[0][0][0],
                       (node.sideToMove * 64 + move.from()) * 64 + move.to(),
                       static_cast<u32>(plies * plies));
}

void ChessBoard::clearKillerMoves() {
  for (unsigned p = 0; p <= MAX_PLY; ++p) {
    killer1[p] = killer2[p] = mateKiller[p] = 0;
  }
  memset(historyTable, 0, sizeof(historyTable));
  historyJournal.clear();
}

int ChessBoard::alphabeta(int depth, int alpha, int beta, int allowNull, int ply) {
  ChessBoardNode& node = currentNode;
  PLine& line = node.pvLines[ply];
  // No line of another subtree may be reported from this node, whatever way
  // it returns.
  clearLine(line);

  // 1-3. Stop test, the horizon of the deepest ply, node count.
  if (!checkSearchTime()) return 0;
  ChessMoveUndo& record = node.undoStack[node.undoCount];
  const int nodeType = record.nodeType;
  if (ply > MAX_SEARCH_PLY) return node.evaluate(alpha, beta, nodeType != PV_NODE ? 1 : 0);
  ++countNodes;
  const int inCheck = record.inCheck;

  // 4. Mate-distance pruning: no line from here can be worse than being
  //    mated on the next ply.
  if (alpha < ply - (MATE_SCORE - 1)) alpha = ply - (MATE_SCORE - 1);
  if (beta <= alpha) return alpha;

  // 5-6. Fifty-move rule and repetition: one earlier occurrence of the
  //      position, with the same side to move and within the reversible
  //      plies, is a draw.
  if (node.halfMoveClock > 99) return -contemptFactor;
  {
    int index = static_cast<int>(node.hashHistoryCount) - 2;
    for (int k = (node.halfMoveClock + 1) / 2; k > 0 && index >= 0; --k, index -= 2) {
      if (node.hashHistory[index] == node.hashKey) return -contemptFactor;
    }
  }

  // 7. Table probe: a cut-off at other than PV nodes, the stored move
  //    everywhere.
  ChessMove hashMove = 0;
  if (depth >= ONE_PLY) {
    int stored = node.hashTable.findNode(node.hashKey, depth, alpha, beta, hashMove);
    if (stored != HASH_MISS && nodeType != PV_NODE) return stored;
  }

  // 8. Null move: let the opponent move twice; if that still fails high the
  //    node is not worth searching. A null search that gets mated at once
  //    reveals a mate threat, which extends every move of this node.
  int mateThreat = 0;
  if (allowNull && !inCheck && node.gamePhase <= NULL_MOVE_MAX_PHASE && nodeType != PV_NODE) {
    const int reduction =
        depth <= NULL_REDUCTION_DEPTH ? NULL_REDUCTION_SHALLOW : NULL_REDUCTION_DEEP;
    node.makeNullMove();
    ChessMoveUndo& child = node.undoStack[node.undoCount];
    child.inCheck = 0;
    child.nodeType = static_cast<u8>(NEXTNODETYPE[nodeType]);
    const int score = searchChild(depth - ONE_PLY - reduction, beta - 1, beta, 0, 0, ply);
    node.unMakeNullMove();

    if (stopSearch) return 0;
    if (score >= beta) {
      node.hashTable.addNode(node.hashKey, 0, depth, HASH_LOWER, beta);
      return beta;
    }
    if (score == ply - (MATE_SCORE - 2)) mateThreat = 1;
  }

  // 9. Internal iterative deepening: a PV node without a table move searches
  //    itself shallower to find one.
  if (!hashMove && depth > IID_MIN_DEPTH && nodeType == PV_NODE) {
    alphabeta(depth - IID_REDUCTION, alpha, beta, 0, ply);
    if (stopSearch) return 0;
    const HashTableNode& slot = node.hashTable.table[node.hashKey & node.hashTable.modulo];
    hashMove = slot.key == node.hashKey ? slot.move : ChessMove(0);
  }

  // 10. The line is built afresh by this node's own moves.
  clearLine(line);

  // 11. Futility: near the leaves, a node far below alpha only searches the
  //     moves that can change the material or give check.
  int futility = 0;
  if (depth <= FUTILITY_MAX_DEPTH && !inCheck && nodeType != PV_NODE &&
      node.gamePhase <= FUTILITY_MAX_PHASE) {
    const int margin = depth <= FUTILITY_DEPTH_1   ? FUTILITY_MARGIN_1
                       : depth <= FUTILITY_DEPTH_2 ? FUTILITY_MARGIN_2
                                                   : FUTILITY_MARGIN_3;
    futility = node.evaluate(alpha, beta, 1) + margin <= alpha;
  }

  // 12. The moves of the node, ordered. The sort puts first the earliest of
  //     the moves with the highest key. Most cut-offs come from that move,
  //     so it is taken before the list is sorted (in full, to the same
  //     order), which happens only when a second move is needed.
  //     Out of check, and when the full list surely has room for every
  //     move, part of the list can wait for the second move too:
  //     - all of it, when the table move is in the list: it tops every other
  //       key (KEY_HASH_MOVE) while no history counter can lift a quiet
  //       move's key to it;
  //     - the quiet moves, without a table move, when the best capture's
  //       key is above every key a quiet move can have (the killers', the
  //       mate killer's when that is a quiet move, and the history keys up
  //       to the highest counter). The captures come first in the full list,
  //       so that capture is its first move.
  //     What waits is generated with the second move, and ordered by the
  //     history counters as they stood before the first move's search (a
  //     mark of the journal), so that the order is the same.
  ChessMoveSort* list = plyMoveList[ply].moves;
  unsigned count, captures = 0, firstMove = 0;
  enum { REST_NONE, REST_ALL, REST_QUIET } rest = REST_NONE;
  HistoryMark mark(historyJournal);
  // Every key a quiet move can have lies below `key`: the killers' (the
  // first killer's is the highest), a quiet mate killer's, and the history
  // keys up to the highest counter.
  auto quietKeysBelow = [&](int key) {
    const ChessMove mate = mateKiller[ply];
    return KEY_KILLER1 < key && (KEY_MATE_KILLER < key || !mate || !isQuietMove(mate)) &&
           historyJournal.highest < static_cast<u32>(key - KEY_QUIET);
  };
  // The full list, with its keys.
  auto generateFullList = [&]() {
    node.generateMoves(list, &count, inCheck);
    scoreMoves(list, count, hashMove, ply);
  };
  // The quiet moves behind the captures, with their keys.
  auto appendQuietMoves = [&]() {
    unsigned quiet = 0;
    node.generateMovesNC(list + captures, &quiet);
    scoreMoves(list + captures, quiet, 0, ply);
    count = captures + quiet;
  };
  const bool fullList = !inCheck && node.fullListFits();
  if (hashMove && fullList && quietKeysBelow(KEY_HASH_MOVE) && node.validMove(hashMove)) {
    rest = REST_ALL;
    // The node state as the generation of the full list sets it.
    node.nodeState = NODE_NORMAL;
    // The table move, and the rest of the list once it is generated.
    list[0] = {hashMove, KEY_HASH_MOVE};
    count = 2;
  } else if (hashMove || !fullList) {
    generateFullList();
    firstMove = highestKey(list, 0, count);
  } else {
    // The full list in two parts, as generateMoves builds it.
    node.nodeState = NODE_NORMAL;
    node.generateMovesC(list, &captures);
    scoreMoves(list, captures, 0, ply);
    firstMove = highestKey(list, 0, captures);
    if (captures && quietKeysBelow(list[firstMove].score)) {
      rest = REST_QUIET;
      // A lone capture still leads to the quiet moves.
      count = captures < 2 ? 2 : captures;
    } else {
      appendQuietMoves();
      firstMove = highestKey(list, firstMove, count);
    }
  }

  // 13-16. The move loop.
  int best = alpha;
  int boundType = HASH_UPPER;
  int movesSearched = 0;
  const int childType = NEXTNODETYPE[nodeType];
  if (count > 0) {
    if (stopSearch) return 0;
    for (unsigned i = 0; i < count; ++i) {
      if (i == 1) {
        if (rest != REST_NONE) {
          // The list, ordered by the counters as they stood before the
          // first move's search; the node state as that search left it.
          // The quiet moves go behind the captures (the room is there, as
          // the full list fits).
          const u8 state = node.nodeState;
          mark.exchange(&historyTable[0][0][0]);
          if (rest == REST_ALL)
            generateFullList();
          else
            appendQuietMoves();
          mark.exchange(&historyTable[0][0][0]);
          mark.close();
          node.nodeState = state;
          if (count < 2) break;
        }
        sortMoves(list, 0, count);
      }
      const ChessMove m = list[i == 0 ? firstMove : i].move;
      const int key = list[i == 0 ? firstMove : i].score;
      // Past the first move a node mostly searches its moves in turn, so
      // the table slots of the positions of the next PREFETCH_BATCH moves
      // are loaded together: a load that misses the cache holds up the
      // processor for most of its time here, and loads started together
      // wait for memory at once. Quiet moves that futility passes over are
      // left out, as their positions are seldom searched.
      if (i >= 1 && (i - 1) % PREFETCH_BATCH == 0 && depth >= 2 * ONE_PLY) {
        const unsigned end = i + PREFETCH_BATCH < count ? i + PREFETCH_BATCH : count;
        for (unsigned j = i; j < end; ++j) {
          if (!(futility && isQuietMove(list[j].move)))
            prefetchSlot(node.hashTable, node.keyAfter(list[j].move));
        }
      }
      if (!checkSearchTime()) return 0;
      // The attack tests of legality and check only where a cheap look at
      // the lines through the kings leaves them open.
      const bool mayCheck = node.mayGiveCheck(m);
      const bool needsTest = node.needsLegalityTest(m, inCheck);
      // Futility (below) passes over a legal quiet move without check or
      // extension; one that is surely legal and surely no check is passed
      // over without being made.
      if (futility && movesSearched > 0 && !mayCheck && !needsTest && isQuietMove(m) &&
          searchExtension(m, key, 0, mateThreat) == 0) {
        ++movesSearched;
        continue;
      }
      if (!(needsTest ? node.makeMove(m) : node.makeLegalMove(m))) {
        node.unMakeMove(m);
        continue;
      }
      // The child probes the table, or below one ply evaluates at once.
      if (depth >= 2 * ONE_PLY)
        prefetchSlot(node.hashTable, node.hashKey);
      else
        prefetchEvaluation(node);
      const int givesCheck =
          mayCheck ? node.isAttacked(node.kingSquare[node.sideToMove], node.opponent) : 0;
      ChessMoveUndo& child = node.undoStack[node.undoCount];
      child.inCheck = static_cast<u8>(givesCheck);

      // Extensions: checks (more under a mate threat), pawns reaching the
      // seventh rank, recaptures that do not lose material.
      const int extension = searchExtension(m, key, givesCheck, mateThreat);

      const bool quiet = isQuietMove(m);
      if (futility && !givesCheck && movesSearched > 0 && extension == 0 && quiet) {
        ++movesSearched;
        node.unMakeMove(m);
        continue;
      }

      const int newDepth = depth - ONE_PLY + extension;
      int score;
      if (movesSearched == 0) {
        // The first move gets the full window.
        child.nodeType = static_cast<u8>(childType);
        if (rest != REST_NONE && i == 0) mark.open();
        score =
            searchChild(newDepth, best, beta, (givesCheck || childType == PV_NODE) ? 1 : 0, 1, ply);
      } else {
        // Late quiet moves of a non-PV node are first tried shallower; one
        // that stays below alpha counts as searched.
        if (!givesCheck && depth >= LMR_MIN_DEPTH && extension == 0 &&
            movesSearched >= LMR_MIN_MOVES && nodeType != PV_NODE && quiet && !isKillerKey(key)) {
          child.nodeType = static_cast<u8>(childType);
          const int reduced = searchChild(depth - LMR_REDUCTION, best, best + 1, 0, 1, ply);
          if (stopSearch) {
            node.unMakeMove(m);
            return 0;
          }
          if (reduced <= best) {
            ++movesSearched;
            node.unMakeMove(m);
            continue;
          }
        }
        // Zero window around alpha; a move that lands inside the window is
        // searched again with the full window.
        child.nodeType = CUT_NODE;
        score = searchChild(newDepth, best, best + 1, givesCheck, 1, ply);
        if (stopSearch) {
          node.unMakeMove(m);
          return 0;
        }
        if (score > best && score < beta) {
          child.nodeType = PV_NODE;
          score = searchChild(newDepth, best, beta, 1, 1, ply);
        }
      }
      ++movesSearched;
      node.unMakeMove(m);
      // An interrupted or skipped child has no score.
      if (stopSearch) return 0;

      if (score >= beta) {
        storeCutoff(m, depth, beta, score, ply);
        return beta;
      }
      if (score > best) {
        updateLine(line, node.pvLines[ply + 1], m, score, ply);
        best = score;
        boundType = HASH_EXACT;
      }
    }
  }

  if (movesSearched > 0) {
    node.hashTable.addNode(node.hashKey, line.count ? line.moves[0].move : ChessMove(0), depth,
                           boundType, best);
    return best;
  }

  // 17. No legal move: mate or stalemate.
  clearLine(line);
  if (inCheck) {
    node.nodeState = NODE_MATE;
    return ply - MATE_SCORE;
  }
  node.nodeState = NODE_STALEMATE;
  return contemptFactor;
}

int ChessBoard::alphabeta_quiescent(int ply, int alpha, int beta, int exact) {
  ChessBoardNode& node = currentNode;
  PLine& line = node.pvLines[ply];
  clearLine(line);

  // 1-5. Stop test, node count, and the stand-pat score: the side to move
  //      may always decline to capture.
  if (!checkSearchTime()) return 0;
  ++countNodes;
  const int standPat = node.evaluate(alpha, beta, exact ? 0 : 1);
  if (ply > MAX_SEARCH_PLY) return standPat;
  int best;
  if (standPat <= alpha) {
    best = alpha;
  } else if (standPat >= beta) {
    return beta;
  } else {
    best = standPat;
  }

  // 6-7. Captures and promotions, those that lose material last and never
  //      searched.
  ChessMoveSort* list = plyMoveList[ply].moves;
  unsigned count = 0;
  node.generateMovesC(list, &count);
  if (count == 0) return best;
  // The move the sort puts first is known from the keys; the other keys are
  // completed and the list sorted (to the same order) only when a second
  // move is needed.
  const unsigned firstMove = scoreMoves_quiescent(list, count);
  if (list[firstMove].score < 0) return best;
  if (stopSearch) return 0;

  // 8. The move loop.
  for (unsigned i = 0; i < count; ++i) {
    const ChessMove m = list[i == 0 ? firstMove : i].move;
    if (!checkSearchTime()) return 0;
    if (node.makeMove(m)) {
      // The child's first step is its evaluation.
      prefetchEvaluation(node);
      int score = 0;
      if (checkSearchTime()) score = -alphabeta_quiescent(ply + 1, -beta, -best, exact);
      node.unMakeMove(m);
      if (stopSearch) return 0;
      if (score > best) {
        if (score >= beta) return beta;
        updateLine(line, node.pvLines[ply + 1], m, score, ply);
        best = score;
      }
    } else {
      node.unMakeMove(m);
    }
    if (i + 1 == count) return best;
    if (i == 0) sortMoves_quiescent(list, count);
    if (list[i + 1].score < 0) return best;
  }
  return best;
}
