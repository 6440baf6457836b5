// The opening-book builder's scan of a PGN collection: a light state
// machine that collects the first plies of every game with the game's
// result and merges each line into the list of sequences. It keeps no
// games; once a game's plies are collected it skips to the next tag line.
//
// The move text is read as the PGN standard writes it (the machine's
// Standard form), and the scan adds what the standard says of whole lines:
// a line that starts with "%" is ignored, ";" outside a brace comment
// comments out the rest of its line, and a line that is a whole tag pair
// starts the next game, whatever the game before it left open.
#include <cstdio>
#include <cstring>

#include "engine/chessboard.h"
#include "engine/log.h"
#include "records/gamelibrary.h"
#include "records/pgnmachine.h"

namespace {

// Longest line held back to see whether it is a tag pair.
const size_t HELD_LINE_SIZE = 4096;

void clearOpening(ChessGameOpening& opening) {
  opening.nbMoves = 0;
  opening.count = 0;
  opening.blackWins = 0;
  opening.whiteWins = 0;
  opening.draws = 0;
}

bool isLineEnd(char c) { return c == '\n' || c == '\r'; }

// True when the FEN sets up the start position: its first four fields (the
// placement, the side to move, castling and en passant) are the start
// position's; the move counters do not change the position.
bool isStartPosition(const char* fen) {
  const char* start = START_FEN;
  for (int field = 0; field < 4; field++) {
    fen += strspn(fen, " \t");
    const size_t length = strcspn(fen, " \t"), startLength = strcspn(start, " ");
    if (length != startLength || strncmp(fen, start, length) != 0) return false;
    fen += length;
    start += startLength + 1;
  }
  return true;
}

// True when line, from its "[" to its end, is one whole tag pair: a name,
// blanks or tabs, the value in double quotes (with \" and \\ escapes), and
// the closing "]", with nothing after it but blanks or tabs.
bool isTagPairLine(const char* line) {
  const char* p = line + 1;
  const size_t name = strcspn(p, " \t\"]");
  if (name == 0) return false;
  p += name;
  p += strspn(p, " \t");
  if (*p++ != '"') return false;
  while (*p && *p != '"') p += p[0] == '\\' && p[1] ? 2 : 1;
  if (*p++ != '"') return false;
  p += strspn(p, " \t");
  if (*p++ != ']') return false;
  return p[strspn(p, " \t")] == '\0';
}

class OpeningScanner : public pgn::Machine<OpeningScanner, 4096, true> {
public:
  OpeningScanner(int maxPlies, ChessGameOpeningList& into) : depth(maxPlies), list(into) {
    clearOpening(opening);
  }

  // Every character of the file, in order. A line that starts with "["
  // while a game, a comment or a variation is open is held back until its
  // end: when it is a whole tag pair the next game starts with it,
  // otherwise its characters are read as they came.
  void feed(char c) {
    // Most of a file is the rest of games already collected, where away
    // from a line start only line ends, braces and ";" change anything.
    if (state == pgn::SKIP && !lineStart && held.empty() && !isLineEnd(c) && c != '{' && c != '}' &&
        c != ';')
      return;
    if (!held.empty()) {
      hold(c);
    } else if (lineStart && c == '[' && gameOpen()) {
      held.add(c);
      lineStart = false;
    } else {
      read(c);
    }
  }
  int gameCount = 0;

  // A game has one result and one start: a repeated Result or FEN tag
  // replaces the earlier.
  void tagValue(const char* name, const char* value) {
    if (strcmp(name, "FEN") == 0) setUp = !isStartPosition(value);
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
    startGame();
  }

private:
  const int depth;
  ChessGameOpeningList& list;
  ChessGameOpening opening;         // the line of the game being read
  int plies = 0;                    // plies of that game read so far
  bool setUp = false;               // the game starts from another position
  bool lineStart = true;            // the next character starts a line
  bool lineComment = false;         // the rest of the line is a comment
  bool skippedComment = false;      // in a brace comment of the rest of a game
  pgn::Token<HELD_LINE_SIZE> held;  // a line that may be a tag pair

  void startGame() {
    gameCount++;
    plies = 0;
    setUp = false;
    clearOpening(opening);
  }

  bool gameOpen() const {
    return state == pgn::MOVE_TEXT || state == pgn::COMMENT || state == pgn::VARIATION ||
           state == pgn::SKIP;
  }

  // The held line ends with c (or has grown too long to be a tag pair).
  void hold(char c) {
    if (!isLineEnd(c) && held.length + 1 < sizeof held.text) {
      held.add(c);
      return;
    }
    char line[HELD_LINE_SIZE];
    const size_t length = held.length;
    memcpy(line, held.text, length + 1);
    held.clear();  // what the line's characters lead to may feed one again
    if (isLineEnd(c) && isTagPairLine(line)) {
      startGame();
      restart();
    }
    lineStart = true;
    for (size_t i = 0; i < length; i++) read(line[i]);
    read(c);
  }

  void read(char c);
};

inline void OpeningScanner::read(char c) {
  const bool first = lineStart;
  lineStart = isLineEnd(c);
  // 1. Comments to the end of the line: a line that starts with "%", and
  //    the text after ";" outside a tag and a brace comment, where "{",
  //    "(" and "[" mean nothing. The line end itself is read.
  if (lineComment && !lineStart) return;
  lineComment = false;
  const bool inBraces = state == pgn::SKIP ? skippedComment : inBraceComment();
  if ((first && c == '%') || (c == ';' && !inBraces && state != pgn::TAG)) {
    if (state == pgn::MOVE_TEXT) endToken();  // a move written straight before ";"
    lineComment = true;
    return;
  }
  if (state != pgn::SKIP) {
    step(c);
    return;
  }
  // 2. The rest of a game once its plies are collected: every line is
  //    ignored up to one that starts with "[" outside a brace comment, the
  //    next game's first tag. A comment wrapped over lines may start one of
  //    them with "[" (a clock annotation, "{ [%clk 0:02:00] }").
  if (c == '{') {
    skippedComment = true;
  } else if (c == '}') {
    skippedComment = false;
  } else if (first && c == '[' && !skippedComment) {
    startGame();
    restart();
    startTag();
  }
}

void OpeningScanner::moveRead(const char* text) {
  // 1. A game set up from another position adds nothing.
  if (setUp) return;
  // 2. Collected while the line is shorter than the depth.
  if (plies < depth) {
    pgn::copyBounded(opening.moves[opening.nbMoves].text, text, PGN_MOVE_TEXT_MAX);
    opening.moves[opening.nbMoves].nag = 0;
    opening.nbMoves++;
  }
  // 3-4. A complete line joins the list; the rest of the game is skipped.
  if (++plies == depth) {
    list.addOpening(opening);
    clearOpening(opening);
    state = pgn::SKIP;
    skippedComment = false;
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
