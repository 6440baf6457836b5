// A seeded PGN collection of legal games for book-building tests and the
// book-building benchmark.
#pragma once

#include <string>

namespace bookbench {

// Writes `games` games of up to `plies` plies to path, each move drawn
// from the moves of its position with a strong bias towards a few of them
// (a fixed order per position, the first taken most often), so that
// openings are shared as in real collections. The same seed writes the
// same file. False when the file cannot be written.
bool writeSeededPgn(const std::string& path, unsigned games, unsigned plies, unsigned seed);

}  // namespace bookbench
