// Ordering keys in the score field of a move list, highest searched first.
// The orderers give them (ordering.cpp); the searches read them back to
// tell killers and winning captures from other moves.
#pragma once

const int KEY_HASH_MOVE = 100000;  // table move, or previous best root move
const int KEY_MATE_KILLER = 90000;
const int KEY_GOOD_CAPTURE = 50000;  // plus the gain of the capture
const int KEY_KILLER1 = 46000;
const int KEY_KILLER2 = 45000;
const int KEY_KILLER1_UP2 = 36000;  // killers of the ply two above
const int KEY_KILLER2_UP2 = 35000;
const int KEY_QUIET = 1001;        // plus the history counter
const int KEY_BAD_CAPTURE = 1000;  // plus the (negative) exchange value
const int KEY_ILLEGAL = -32000;    // root move that leaves the king in check
const int KEY_SKIP = -1;           // quiescence stops before such a move
const int KEY_PENDING = -2;        // quiescence capture whose exchange is not yet evaluated

// True for the keys of the killer moves of a ply and of the ply two above.
inline bool isKillerKey(int key) {
  return key == KEY_MATE_KILLER || key == KEY_KILLER1 || key == KEY_KILLER2 ||
         key == KEY_KILLER1_UP2 || key == KEY_KILLER2_UP2;
}
