// The two move-generator reports that the command-line tools and both
// protocols print: the perft table and the divide list.
#pragma once

class ChessBoard;

// Counts the board's position afresh for every depth 1 to depth, stores
// each depth's statistics into perftNode and prints the table: its header,
// then one row per depth. A depth below 1 or above 63 prints the header
// alone.
void printPerftTable(ChessBoard* engine, int depth);

// Prints the entries of the last divide, one line per legal first move.
void printDivideList();
