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

// One book position: its key and where its moves stand in the book's move
// array. A book of millions of positions with a move or two each is held
// in about its file's size this way, where sixteen fixed slots a position
// would take ten times as much.
struct ChessOpeningBookNode {
  u64 key;
  u32 first;  // index of its first move in ChessOpeningBook::moves
  u32 count;  // its moves, 0 to 16, one after the other from first
};

class ChessOpeningBook {
public:
  // Book positions; findMove needs them in ascending order of key, which
  // save and load leave.
  std::vector<ChessOpeningBookNode> nodes;
  // The moves of every position, those of one position side by side.
  std::vector<ChessOpeningBookMove> moves;

  // The moves of one of the book's nodes.
  ChessOpeningBookMove* movesOf(const ChessOpeningBookNode& node) {
    return moves.data() + node.first;
  }
  const ChessOpeningBookMove* movesOf(const ChessOpeningBookNode& node) const {
    return moves.data() + node.first;
  }
  // Appends a node of the key without moves and returns it.
  ChessOpeningBookNode& appendNode(unsigned long long key);
  // Adds a move to one of the book's nodes unless the node already has it
  // (result 1). A full node takes it in place of its least played move
  // when it was played in more games (result 1), else drops it (result 0).
  int addMove(ChessOpeningBookNode& node, ChessMove move, unsigned int games,
              unsigned char whitePercent, unsigned char blackPercent);
  // Adds every move of a node of another book to this book's last node,
  // each by addMove's rule.
  void addMovesOf(const ChessOpeningBook& other, const ChessOpeningBookNode& node);
  // Adds one move to the node of the key, appending the node when missing.
  void addNode(unsigned long long key, ChessMove move, unsigned int games,
               unsigned char whitePercent, unsigned char blackPercent);
  // A weighted random book move for the position, or emptyMove.
  ChessMove findMove(unsigned long long key);
  // 1 when the file was read; 0 when it is missing, not a sound book file
  // or too large for memory, which leaves the book empty.
  int load(const std::string& fileName);
  // 1 when the whole file was written; 0 on any failure, which leaves a
  // file already there as it was.
  int save(const std::string& fileName);
  // Empties the book, keeping its storage.
  void clear();
  // First node with the key by a linear scan, or nullptr.
  ChessOpeningBookNode* findPosition(unsigned long long key);
  // The node with the key by binary search over the ordered nodes, or nullptr.
  ChessOpeningBookNode* findPositionFast(unsigned long long key);
  // Nothing to do: save orders the book itself.
  void sort() {}
  // Lists the moves of a position through the log.
  void showMoves(unsigned long long key);
};
