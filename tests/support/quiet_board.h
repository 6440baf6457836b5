// An engine object whose callbacks do nothing, for the code that drives the
// engine without a front-end: the unit tests and the search benchmark.
// A derived board overrides the callbacks it watches.
#pragma once

#include "engine/chessboard.h"

class QuietBoard : public ChessBoard {
public:
  void draw(int, int) override {}
  void onPromotionMode() override {}
  void onComputerStartPlaying() override {}
  void onComputerFinishPlaying(int) override {}
  void onNextPlayer() override {}
  int onComputerThinkPV(int, PLine&, unsigned long long, double) override { return 1; }
  void onComputerClearPV() override {}
  void onUpdateBoard() override {}
  void onMateFound(int, int) override {}
  int onParseInputCommand() override { return 1; }
  void onSearchRootMove(ChessMove, int) override {}
};
