// The UCI command handler and its argument readers.
#pragma once

// Default size of the transposition table in UCI mode (MB).
const int UCI_DEFAULT_HASH_MB = 32;

// Handles one UCI line. 0 for "quit" (the program is to end), 1 for every
// other line. While a think runs, the commands that would change the board
// or the tables are kept back and run after the think.
int parseUCI(char* line);

// Reads the limits of a "go" line into the engine object: search mode,
// clocks, increments, moves to go, and whether it is a ponder search.
int parseGoUCI(char* line);

// Sets up the position of a "position" line: the start position or a FEN,
// then the listed moves up to the first one that is refused. A line that
// names neither is refused as a FEN that cannot be read. 1 when the line
// was read whole, 0 when it was refused or stopped early.
int parsePosition(char* line);

// Applies a "setoption " line. 1 for a recognised option, 0 otherwise.
int parseOptionUCI(char* line);
