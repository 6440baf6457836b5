// Constants of the alpha-beta search, the move-ordering keys it shares with
// the root search, and the monotonic clock the search-time check and the
// think driver measure with.
#pragma once

#include "engine/chessboard.h"
#include "engine/types.h"

// Scores. A side to move that is checkmated at ply p scores p - MATE_SCORE;
// any score beyond MATE_THRESHOLD in absolute value is a mate score.
const int MATE_SCORE = 32000;
const int MATE_THRESHOLD = 31744;

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

// Ordering keys in the score field of a move list, highest searched first.
const int KEY_HASH_MOVE = 100000;      // table move, or previous best root move
const int KEY_MATE_KILLER = 90000;
const int KEY_GOOD_CAPTURE = 50000;    // plus the gain of the capture
const int KEY_KILLER1 = 46000;
const int KEY_KILLER2 = 45000;
const int KEY_KILLER1_UP2 = 36000;     // killers of the ply two above
const int KEY_KILLER2_UP2 = 35000;
const int KEY_QUIET = 1001;            // plus the history counter
const int KEY_BAD_CAPTURE = 1000;      // plus the (negative) exchange value
const int KEY_ILLEGAL = -32000;        // root move that leaves the king in check
const int KEY_SKIP = -1;               // quiescence stops before such a move

// Monotonic clock, immune to changes of the time of day. readClock stores
// the current reading; elapsedMicroseconds gives the time since a reading
// (0 if the reading lies in the future).
void readClock(TimeOfDay& t);
u64 elapsedMicroseconds(const TimeOfDay& since);
