// Constants of the alpha-beta and root searches: depth units and node types.
#pragma once

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
