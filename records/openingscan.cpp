// The opening-book builder's scan of a PGN collection: a light state
// machine that collects the first plies of every game with the game's
// result and merges each line into the list of sequences. It keeps no
// games; once a game's plies are collected it skips to the next tag line.
#include <cstdio>
#include <cstring>

#include "engine/log.h"
#include "records/gamelibrary.h"
#include "records/pgnmachine.h"

namespace {

void clearOpening(ChessGameOpening& opening) {
  opening.nbMoves = 0;
  opening.count = 0;
  opening.blackWins = 0;
  opening.whiteWins = 0;
  opening.draws = 0;
}

class OpeningScanner : public pgn::Machine<OpeningScanner, 4096> {
public:
  OpeningScanner(int maxPlies, ChessGameOpeningList& into) : depth(maxPlies), list(into) {
    clearOpening(opening);
  }

  // Every character of the file, in order. Once a game's plies are
  // collected the rest of its line is skipped, and so is every line up to
  // one that starts with "[" outside a brace comment, the next game's
  // first tag: a comment wrapped over lines may start one of them with "["
  // (a clock annotation, "{ [%clk 0:02:00] }"). Braces nest here as they
  // do in move text.
  void feed(char c) {
    if (state != pgn::SKIP) {
      step(c);
    } else if (c == '{') {
      skippedComments++;
    } else if (c == '}' && skippedComments > 0) {
      skippedComments--;
    } else if (lineStart && c == '[' && skippedComments == 0) {
      gameCount++;
      plies = 0;
      blackNext = false;
      startTag();
    }
    lineStart = c == '\n' || c == '\r';
  }
  int gameCount = 0;

  // A game has one result: a repeated Result tag replaces the earlier.
  void tagValue(const char* name, const char* value) {
    if (strcmp(name, "Result") != 0) return;
    opening.whiteWins = strcmp(value, "1-0") == 0 ? 1 : 0;
    opening.blackWins = strcmp(value, "0-1") == 0 ? 1 : 0;
    opening.draws = strcmp(value, "1/2-1/2") == 0 ? 1 : 0;
  }
  void moveRead(const char* text);
  void nagRead(const char*) {}
  // A game that ends before the depth adds nothing.
  void gameEnded() {
    Log::print("found end of game");
    gameCount++;
    plies = 0;
    clearOpening(opening);
  }

private:
  const int depth;
  ChessGameOpeningList& list;
  ChessGameOpening opening;  // the line of the game being read
  int plies = 0;             // plies of that game read so far
  bool lineStart = true;     // the next character starts a line
  int skippedComments = 0;   // nesting of the brace comment being skipped
};

void OpeningScanner::moveRead(const char* text) {
  // 1. Collected while the line is shorter than the depth.
  if (plies < depth) {
    pgn::copyBounded(opening.moves[opening.nbMoves].text, text, PGN_MOVE_TEXT_MAX);
    opening.moves[opening.nbMoves].nag = 0;
    opening.nbMoves++;
  }
  // 2-3. A complete line joins the list; the rest of the game is skipped.
  if (++plies == depth) {
    list.addOpening(opening);
    clearOpening(opening);
    state = pgn::SKIP;
    skippedComments = 0;
  }
}

}  // namespace

int ChessGameLibrary::searchOpening(const std::string& pgnFile, int depth,
                                    ChessGameOpeningList& list) {
  // 1. The file.
  FILE* file = fopen(pgnFile.c_str(), "rb");
  if (!file) {
    Log::print("PGN file not found : %s", pgnFile.c_str());
    return 0;
  }
  Log::print("create Opening Book from PGN file : %s", pgnFile.c_str());

  // 2-3. Every byte through the scanner; a line holds at most 32 plies. The
  //      end of the file ends the last token like a line end; a read error
  //      ends the scan as a failure.
  OpeningScanner scanner(depth < (int)OPENING_MAX_PLIES ? depth : (int)OPENING_MAX_PLIES, list);
  const bool readOk = pgn::feedFile(file, scanner);

  // 4. A line still being collected is not added.
  Log::print("%d games found.", scanner.gameCount);
  return readOk ? 1 : 0;
}
