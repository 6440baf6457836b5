// Opening book: position keys with the moves that games played from them,
// how often and with what results, and the little-endian book file.
#pragma once

#include <string>
#include <vector>

#include "engine/types.h"

// Moves one book position can hold.
const unsigned BOOK_MAX_MOVES = 16;

// One book move with the statistics of the games that played it.
struct ChessOpeningBookMove {
  ChessMove move;   // the move word exactly as the engine plays it
  u32 games;        // games of the source collection that played it
  u8 whitePercent;  // white wins * 100 / games
  u8 blackPercent;  // black wins * 100 / games
};

// One book position: its key and up to 16 distinct moves.
class ChessOpeningBookNode {
public:
  u64 key;
  u32 count;
  ChessOpeningBookMove moves[BOOK_MAX_MOVES];

  // Adds a move unless the node already has it (result 1) or is full
  // (result 0, the move is dropped).
  int addMove(ChessMove move, unsigned int games, unsigned char whitePercent,
              unsigned char blackPercent);
};

class ChessOpeningBook {
public:
  // Book positions; findMove needs them in ascending order of key, which
  // save and load leave.
  std::vector<ChessOpeningBookNode> nodes;

  // Adds one move to the node of the key, appending the node when missing.
  void addNode(unsigned long long key, ChessMove move, unsigned int games,
               unsigned char whitePercent, unsigned char blackPercent);
  // A weighted random book move for the position, or emptyMove.
  ChessMove findMove(unsigned long long key);
  // 1 when the file was read; 0 when it is missing or not a sound book
  // file, which leaves the book empty.
  int load(const std::string& fileName);
  // 1 when the whole file was written and closed; 0 on any failure.
  int save(const std::string& fileName);
  // First node with the key by a linear scan, or nullptr.
  ChessOpeningBookNode* findPosition(unsigned long long key);
  // The node with the key by binary search over the ordered nodes, or nullptr.
  ChessOpeningBookNode* findPositionFast(unsigned long long key);
  // Nothing to do: save orders the book itself.
  void sort() {}
  // Lists the moves of a position through the log.
  void showMoves(unsigned long long key);
};
