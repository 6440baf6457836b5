// PGN game library: games read from or written to PGN files, and the move
// sequences that the opening-book builder collects from a PGN collection.
#pragma once

#include <list>
#include <string>
#include <vector>

#include "engine/types.h"

// Longest move text kept from a PGN file (the text field holds it and its
// terminator).
const unsigned PGN_MOVE_TEXT_MAX = 9;
// Longest tag name and tag value kept.
const unsigned PGN_TAG_TEXT_MAX = 255;
// Most plies of one collected opening line.
const unsigned OPENING_MAX_PLIES = 32;

struct ChessGameMove {
  char text[PGN_MOVE_TEXT_MAX + 1];  // as written, annotation glyphs included
  i32 nag;                           // the NAG that followed it, 0 for none
};

class ChessGame {
public:
  std::string event, site, date, round, white, black, result, source, annotator;
  i32 whiteElo = 0;
  i32 blackElo = 0;
  std::vector<ChessGameMove> moves;  // the main line, White's first move first
};

// One move sequence: the line collected from one game, or a sequence of the
// list with the number of games that begin with it and their results.
struct ChessGameOpening {
  ChessGameMove moves[OPENING_MAX_PLIES];
  u32 nbMoves;
  u32 count;
  u32 blackWins;
  u32 whiteWins;
  u32 draws;
};

// The distinct move sequences of a collection, each with the games whose
// line begins with exactly it. A sequence is held as its last move text and
// the index of the sequence it extends, so that a collection of millions of
// lines fits; entries stand in the order in which they were first seen, and
// every sequence stands before the longer ones that begin with it.
class ChessGameOpeningList {
public:
  static constexpr u32 NO_PARENT = 0xFFFFFFFFu;

  struct Entry {
    u32 parent;                        // the sequence without its last move
    char text[PGN_MOVE_TEXT_MAX + 1];  // its last move text
    u32 count;
    u32 blackWins;
    u32 whiteWins;
    u32 draws;
  };
  std::vector<Entry> entries;

  // Merges every prefix of the line: a sequence already listed adds one
  // game and the line's results, a new one is appended with them.
  void addOpening(ChessGameOpening& opening);

private:
  // Open-addressing index of the entries by (parent, text): entry index + 1
  // per slot, 0 for an empty slot; its size is a power of two.
  std::vector<u32> index;

  void grow();
  size_t slotOf(u32 parent, const char* text) const;
};

// Results of buildOpeningBook.
enum {
  BOOK_BUILT = 1,           // built and written
  BOOK_PGN_UNREADABLE = 0,  // the PGN file cannot be opened or read
  BOOK_NOT_WRITTEN = -1,    // the book file was not written completely
  BOOK_OUT_OF_MEMORY = -2   // the collection does not fit in memory
};

class ChessGameLibrary {
public:
  std::list<ChessGame*> gameList;  // owned, in the order read or added

  ChessGameLibrary() {}
  ~ChessGameLibrary() { clear(); }
  ChessGameLibrary(const ChessGameLibrary&) = delete;
  ChessGameLibrary& operator=(const ChessGameLibrary&) = delete;

  // Deletes every game and empties the list.
  void clear();
  // Appends the games of a PGN file; 1 when it was read to its end, 0 when
  // it cannot be opened or a read fails (the games read before stay).
  int load(const std::string& fileName);
  // Writes the tag pairs of every game; 1 when the whole file was written
  // and closed, 0 otherwise.
  int save(const std::string& fileName);
  // Collects the first `depth` plies (at most 32) of every game of a PGN
  // file with its result into list; 1 when the whole file was scanned, 0
  // when it cannot be opened or a read fails.
  int searchOpening(const std::string& pgnFile, int depth, ChessGameOpeningList& list);
};

// Splits a tag line [Name "Value"]: name gets the characters after the "["
// up to the first double quote, value those up to the next one. Both
// buffers hold PGN_TAG_TEXT_MAX + 1 bytes and come zero-filled; at most
// PGN_TAG_TEXT_MAX characters are copied into each.
void pgnReadParam(char* line, char* name, char* value);
