// Piece-square tables: a bonus or penalty for every piece on every square,
// one table for the middlegame and one for the endgame.
#pragma once

#include "engine/types.h"

// Indexed [colour][piece type][square]; [colour][type] is the same as the
// composite piece index colour * 7 + type. The black half is the white half
// mirrored by rank (black at s equals white at s ^ 56).
extern const i32 piece_square_table_middlegame[2][7][64];
extern const i32 piece_square_table_endgame[2][7][64];
