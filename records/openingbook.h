// Opening book: position keys with their weighted book moves.
#pragma once

#include "engine/types.h"

class ChessOpeningBook {
public:
  ChessMove findMove(u64) { return emptyMove; }
};
