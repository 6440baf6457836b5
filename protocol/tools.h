// The move-generator tools of the command line.
#pragma once

// Prints the perft table of the start position, or of fen when it is not
// null, for depths 1 to depth. Returns 1, or 0 after "Bad FEN string !"
// when the FEN is refused.
int cmdPerft(int depth, char* fen);

// Prints the divide list of the same position for depth. Same result.
int cmdDivide(int depth, char* fen);
