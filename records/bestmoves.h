// The best-move field of an EPD line, read as moves of the position.
#pragma once

#include <vector>

#include "engine/types.h"

class ChessBoard;

// The legal moves of the board's game position that the best-move field
// names, in the field's order. Its tokens are separated by blanks or tabs;
// each is read as short algebraic text with or without "=" and check and
// annotation signs (Nf3, exd5, e8=Q, e8Q, Qxf7+, O-O-O, 0-0!?), or as the
// engine's long algebraic text (Ng1-f3, e7-e8=Q, e5xd6). A token that is no
// legal move of the position names nothing. Rebuilds the board's move list.
std::vector<ChessMove> readBestMoves(ChessBoard& board, const char* field);

// True when move is one of best: the same from and to squares and the same
// promotion piece.
bool isBestMove(const std::vector<ChessMove>& best, ChessMove move);
