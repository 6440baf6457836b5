// PGN game library: games read from or written to PGN files.
#pragma once

#include <list>
#include <string>
#include <vector>

#include "engine/types.h"

struct ChessGameMove {
  char text[10];
  i32 nag;
};

class ChessGame {
public:
  std::string event, site, date, round, white, black, result, source, annotator;
  i32 whiteElo = 0;
  i32 blackElo = 0;
  std::vector<ChessGameMove> moves;
};

class ChessGameLibrary {
public:
  std::list<ChessGame*> gameList;

  ChessGameLibrary() {}
  ~ChessGameLibrary() {
    for (ChessGame* g : gameList) delete g;
  }
  ChessGameLibrary(const ChessGameLibrary&) = delete;
  ChessGameLibrary& operator=(const ChessGameLibrary&) = delete;
};
