// The perft and divide tools: set up the engine object on the start
// position or a FEN, then print the perft table or the divide list.
#include "protocol/tools.h"

#include <cstdio>

#include "engine/perft.h"
#include "protocol/chessboarduci.h"
#include "protocol/commandloop.h"
#include "protocol/config.h"
#include "protocol/reports.h"

namespace {

// The tool's work is done: its engine object goes.
void releaseToolBoard() {
  fflush(stdout);
  board->free();
  delete board;
  board = nullptr;
}

// The engine object with the configured table size on the requested
// position; null (after the message) when the FEN is refused.
ChessBoardUCI* createToolBoard(char* fen) {
  board = new ChessBoardUCI();
  int size = 128;
  ReadFileConfigInt("quarvel.ini", "Engine", "Hash", &size);
  board->init((unsigned int)size);
  board->newGame();
  if (fen && !board->setFENPosition(fen)) {
    puts("Bad FEN string !");
    releaseToolBoard();
    return nullptr;
  }
  return board;
}

}  // namespace

int cmdPerft(int depth, char* fen) {
  ChessBoardUCI* engine = createToolBoard(fen);
  if (!engine) return 0;
  printPerftTable(engine, depth);
  releaseToolBoard();
  return 1;
}

int cmdDivide(int depth, char* fen) {
  ChessBoardUCI* engine = createToolBoard(fen);
  if (!engine) return 0;
  engine->divide(&engine->currentNode, depth, 0);
  printDivideList();
  releaseToolBoard();
  return 1;
}
