// The engine object of the front-end: turns the engine's callbacks into
// protocol output (thinking lines, the current root move, the engine's
// move), re-enters the command loop when input waits during a search, and
// prints the console thinking lines of a test-suite run.
#pragma once

#include <cstddef>

#include "engine/chessboard.h"

// Coordinate text of one move: four coordinates, a promotion letter, the
// terminator.
const size_t MOVE_TEXT_SIZE = 6;

// Writes the coordinate text of move into out (MOVE_TEXT_SIZE bytes):
// "e2e4", "e7e8q"; "0000" for no move.
void coordinateText(ChessMove move, char* out);

// Room of the coordinate text of a whole line: MAX_PLY moves, each with its
// blank, and the terminator.
const size_t LINE_TEXT_SIZE = MAX_PLY * MOVE_TEXT_SIZE + 1;

// Writes the first length moves of line (at most MAX_PLY) into out
// (LINE_TEXT_SIZE bytes) in coordinate text, each followed by one blank.
void coordinateLineText(const PLine& line, u32 length, char* out);

class ChessBoardUCI : public ChessBoard {
public:
  void draw(int, int) override;
  void onPromotionMode() override;
  void onComputerStartPlaying() override;
  void onComputerFinishPlaying(int stopCode) override;
  void onNextPlayer() override;
  int onComputerThinkPV(int depth, PLine& pv, unsigned long long nodes,
                        double microseconds) override;
  void onComputerClearPV() override;
  void onUpdateBoard() override;
  void onMateFound(int, int) override;
  int onParseInputCommand() override;
  void onSearchRootMove(ChessMove move, int number) override;

  // Prints the perft table for depths 1 to depth on the game position.
  void doPerft(int depth);
};
