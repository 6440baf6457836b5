// An engine object for unit tests: every callback does nothing, and the
// board can be created, initialised and set up in one line.
#pragma once

#include "engine/chessboard.h"

class TestBoard : public ChessBoard {
public:
  int updates = 0;       // calls of onUpdateBoard
  int nextPlayers = 0;   // calls of onNextPlayer

  void draw(int, int) override {}
  void onPromotionMode() override {}
  void onComputerStartPlaying() override {}
  void onComputerFinishPlaying(int) override {}
  void onNextPlayer() override { nextPlayers++; }
  int onComputerThinkPV(int, PLine&, unsigned long long, double) override { return 1; }
  void onComputerClearPV() override {}
  void onUpdateBoard() override { updates++; }
  void onMateFound(int, int) override {}
  int onParseInputCommand() override { return 1; }
  void onSearchRootMove(ChessMove, int) override {}
};

#include <memory>

// A board ready for use: constructed, initialised with a small
// transposition table, and set to the start position.
inline std::unique_ptr<TestBoard> newTestBoard() {
  std::unique_ptr<TestBoard> board(new TestBoard());
  board->init(2);
  board->newGame();
  return board;
}
