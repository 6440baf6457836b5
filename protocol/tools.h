// The tools of the command line.
#pragma once

// Prints the perft table of the start position, or of fen when it is not
// null, for depths 1 to depth. Returns 1, or 0 after "Bad FEN string !"
// when the FEN is refused.
int cmdPerft(int depth, char* fen);

// Prints the divide list of the same position for depth. Same result.
int cmdDivide(int depth, char* fen);

// Largest time per position of the test-suite tool, in seconds: its
// microseconds still fit an int.
const int MAX_TESTSUITE_SECONDS = 2147;

// Solves the EPD suite with a fixed time per position (a negative number
// of seconds gives 5) and prints the report. Returns 1 when the file was
// read, 0 when it cannot be (the report says so).
int cmdRunTestSuite(char* epdFile, int seconds);

// Builds the opening book file from a PGN collection. Returns 1 when the
// book was written, 0 after one line on standard error when the PGN cannot
// be read, the book cannot be written completely or memory runs out.
int cmdBuildBook(char* pgnFile, char* bookFile, int depth, int count);
