// The command-line tools: perft and divide on the start position or a FEN,
// the EPD test-suite solver and the opening-book builder. Each sets up its
// own engine object and releases it when its work is done.
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

int cmdRunTestSuite(char* epdFile, int seconds) {
  // The time per position in microseconds must fit the int of the search
  // mode; a negative number of seconds means the default 5.
  if (seconds < 0) seconds = 5;
  if (seconds > MAX_TESTSUITE_SECONDS) seconds = MAX_TESTSUITE_SECONDS;
  ChessBoardUCI* engine = createToolBoard(nullptr);
  engine->setEngineSearchMode(MODE_MOVETIME, seconds * 1000000, 0);
  const bool read = engine->runTestSuite(epdFile).read;
  releaseToolBoard();
  return read ? 1 : 0;
}

int cmdBuildBook(char* pgnFile, char* bookFile, int depth, int count) {
  board = new ChessBoardUCI();
  board->init(128);
  board->newGame();
  const int result = board->buildOpeningBook(pgnFile, bookFile, depth, count);
  releaseToolBoard();
  if (result == BOOK_BUILT) return 1;
  if (result == BOOK_PGN_UNREADABLE)
    fprintf(stderr, "ERROR : cannot read %s !\n", pgnFile);
  else if (result == BOOK_NOT_WRITTEN)
    fprintf(stderr, "ERROR : cannot write %s !\n", bookFile);
  else
    fputs("out of memory\n", stderr);
  return 0;
}
