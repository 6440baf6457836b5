// A seeded PGN collection of legal games for book-building tests and the
// book-building benchmark.
#pragma once

#include <string>

namespace bookbench {

// How the move text of a game is written.
enum class MoveTextStyle {
  Plain,  // 1. e4 e5 2. Nf3, in lines of at most 78 columns
  Clock,  // as lichess writes it, on one line: every move followed by the
          // mover's clock in a comment, 1. e4 { [%clk 0:03:00] } 1... e5 ...
};

// Writes `games` games of up to `plies` plies to path, each move drawn
// from the moves of its position with a strong bias towards a few of them
// (a fixed order per position, the first taken most often), so that
// openings are shared as in real collections. The same seed writes the
// same games whatever the style. False when the file cannot be written.
bool writeSeededPgn(const std::string& path, unsigned games, unsigned plies, unsigned seed,
                    MoveTextStyle style = MoveTextStyle::Plain);

}  // namespace bookbench
