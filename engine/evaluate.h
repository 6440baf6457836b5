// Weights of the static evaluation (ChessBoardNode::evaluate), in
// centipawns. Tables indexed by colour have Black at 0 and White at 1.
#pragma once

#include "engine/types.h"

const i32 EVAL_BISHOP_PAIR = 50;          // two or more bishops
const i32 EVAL_NO_PAWNS = 50;             // penalty for having no pawn
const i32 BLOCKED_PAWN = 20;              // d/e-pawn at home with its stop square occupied
const i32 BLOCKED_KNIGHT = 100;           // knight trapped in the enemy corner
const i32 BLOCKED_BISHOP = 100;           // bishop trapped in the enemy corner
const i32 BLOCKED_ROOK = 50;              // rook shut in its corner by its own king
const i32 EVAL_DOUBLED_PAWN = 10;         // pawn behind a friendly pawn of its file
const i32 EVAL_ISOLATED_PAWN = 20;        // no friendly pawn on an adjacent file
const i32 EVAL_BACKWARD_PAWN = 10;        // adjacent friendly pawns all further advanced
const i32 EVAL_ROOK_OPEN_FILE = 15;       // no pawn on the rook's file
const i32 EVAL_ROOK_SEMI_OPEN_FILE = 10;  // only enemy pawns on the rook's file
const i32 EVAL_ROOK_ON_7TH = 20;
const i32 EVAL_QUEEN_ON_7TH = 10;
const i32 EVAL_EARLY_QUEEN_MOVE = 20;    // queen off its start square in the opening
const i32 EVAL_KING_SAFETY_ATTACK = 10;  // per attacked square next to the king

// Starts loading the evaluation table's entry of a position and its pawn
// table entry, for an evaluation that is near.
class ChessBoardNode;
void prefetchEvaluation(const ChessBoardNode& node);

// The lazy exit returns the material and piece-square score when it lies
// more than this far outside the window.
const i32 LAZY_EVAL_MARGIN = 299;

// Passed pawn bonus by game phase * 8 + relative rank (0 = own back rank).
extern const i32 EVAL_PASSED_PAWN[32];
// Penalty by the relative rank number (1..8) of the most advanced own pawn
// on a file next to or in front of the king, 0 for no pawn.
extern const i32 EVAL_MISSING_PAWN_SHIELD[10];
// King tropism by king-move distance to the enemy king.
extern const i32 EVAL_TROPISM_KNIGHT[9];
extern const i32 EVAL_TROPISM_BISHOP[9];
extern const i32 EVAL_TROPISM_ROOK[9];
extern const i32 EVAL_TROPISM_QUEEN[9];
// Knight outpost bonus by colour and square.
extern const i32 pos_outpost[2][64];
