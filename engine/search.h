// Constants of the alpha-beta and root searches (depth units, node types,
// margins, reductions and extensions) and the steps both searches share:
// emptying and extending a principal variation, and the extension of a move.
#pragma once

#include <cstring>

#include "engine/chessboard.h"
#include "engine/ordering.h"
#include "engine/types.h"

// Depth is counted in eighths of a ply.
const int ONE_PLY = 8;
// Nodes at this ply or deeper are not searched: the evaluation stands in.
const int MAX_SEARCH_PLY = 62;

// Node types: a principal-variation node is searched with an open window, a
// CUT node is expected to fail high and an ALL node to fail low.
enum { PV_NODE = 0, CUT_NODE = 1, ALL_NODE = 2 };

// Child node type by parent node type: PV begets PV, CUT begets ALL and ALL
// begets CUT.
extern const int NEXTNODETYPE[3];

// Null move: tried up to this game phase, with a reduction of
// NULL_REDUCTION_SHALLOW up to NULL_REDUCTION_DEPTH and NULL_REDUCTION_DEEP
// beyond.
const int NULL_MOVE_MAX_PHASE = 2;
const int NULL_REDUCTION_DEPTH = 6 * ONE_PLY;
const int NULL_REDUCTION_SHALLOW = 2 * ONE_PLY;
const int NULL_REDUCTION_DEEP = 3 * ONE_PLY;

// Internal iterative deepening: PV nodes deeper than IID_MIN_DEPTH without
// a table move search IID_REDUCTION shallower first.
const int IID_MIN_DEPTH = 3 * ONE_PLY;
const int IID_REDUCTION = 2 * ONE_PLY;

// Futility: up to this game phase and depth, a node whose evaluation plus
// the margin of its depth stays at or below alpha searches only its first
// move, captures, promotions, checks and extended moves.
const int FUTILITY_MAX_PHASE = 1;
const int FUTILITY_MAX_DEPTH = 31;
const int FUTILITY_DEPTH_1 = 15;  // margin FUTILITY_MARGIN_1 up to this depth
const int FUTILITY_DEPTH_2 = 23;  // margin FUTILITY_MARGIN_2 up to this depth
const int FUTILITY_MARGIN_1 = 200;
const int FUTILITY_MARGIN_2 = 500;
const int FUTILITY_MARGIN_3 = 975;  // up to FUTILITY_MAX_DEPTH

// Late-move reduction: from the LMR_MIN_MOVES-th searched move on, at
// LMR_MIN_DEPTH or deeper, a quiet move is tried LMR_REDUCTION shallower.
const int LMR_MIN_DEPTH = 3 * ONE_PLY;
const int LMR_MIN_MOVES = 4;
const int LMR_REDUCTION = 2 * ONE_PLY;

// Extensions in eighths of a ply; a move gets at most one ply.
const int CHECK_EXTENSION = ONE_PLY;
const int MATE_THREAT_CHECK_EXTENSION = 12;   // a check under a mate threat
const int MATE_THREAT_EXTENSION = 4;          // any other move under one
const int PAWN_SEVENTH_EXTENSION = ONE_PLY;   // pawn reaching its seventh rank
const int RECAPTURE_EXTENSION = ONE_PLY / 2;  // see searchExtension

// Empties a principal variation.
inline void clearLine(PLine& line) {
  line.count = 0;
  line.moves[0].move = 0;
}

// Line of the node at ply: the move and its score, then the child's line,
// within the 63 - ply moves that the deepest ply leaves room for.
inline void updateLine(PLine& line, const PLine& child, ChessMove move, int score, int ply) {
  unsigned n = child.count;
  const unsigned room = MAX_PLY - 1 - static_cast<unsigned>(ply);
  if (n > room - 1) n = room - 1;
  line.moves[0].move = move;
  line.moves[0].score = score;
  memcpy(&line.moves[1], child.moves, n * sizeof(ChessMoveSort));
  line.count = n + 1;
}

// Neither a capture nor a promotion.
inline bool isQuietMove(ChessMove m) { return m.captured() == NOPIECE && m.promotion() == NOPIECE; }

// Extension of a move just made, in eighths, at most one ply: a check (more
// under a mate threat, and any move a little), a pawn reaching its seventh
// rank, and a capture of a piece of the mover's own type, pawns aside, that
// the ordering key rates as not losing material.
inline int searchExtension(ChessMove m, int key, int givesCheck, int mateThreat) {
  int extension = mateThreat ? (givesCheck ? MATE_THREAT_CHECK_EXTENSION : MATE_THREAT_EXTENSION)
                             : (givesCheck ? CHECK_EXTENSION : 0);
  if (m.piece() == PAWN) {
    const unsigned rank = m.to() >> 3;
    if (rank == 6 || rank == 1) extension += PAWN_SEVENTH_EXTENSION;
  }
  if (m.captured() > PAWN && m.captured() == m.piece() && key >= KEY_GOOD_CAPTURE) {
    extension += RECAPTURE_EXTENSION;
  }
  return extension > ONE_PLY ? ONE_PLY : extension;
}
