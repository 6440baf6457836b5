// Opening book: adding moves and the weighted probe. The book file is read
// and written in bookfile.cpp.
#include "records/openingbook.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>

#include "engine/chessboard.h"
#include "engine/log.h"

ChessOpeningBookNode& ChessOpeningBook::appendNode(unsigned long long key) {
  nodes.push_back(ChessOpeningBookNode{key, (u32)moves.size(), 0});
  return nodes.back();
}

int ChessOpeningBook::addMove(ChessOpeningBookNode& node, ChessMove move, unsigned int games,
                              unsigned char whitePercent, unsigned char blackPercent) {
  // 1. A move the node has keeps its first statistics.
  ChessOpeningBookMove* held = movesOf(node);
  for (u32 i = 0; i < node.count; i++)
    if (held[i].move == move) return 1;
  // 2. A full node keeps the moves of most games: a move of more games
  //    than its least played one takes that one's place, else it is
  //    dropped. Of equally least played moves the one added last goes, so
  //    that among equal counts the moves added first stay. The others keep
  //    their order and the new move comes last, in the order of adding.
  if (node.count >= BOOK_MAX_MOVES) {
    Log::print("max book node reached !!!");
    u32 least = 0;
    for (u32 i = 1; i < node.count; i++)
      if (held[i].games <= held[least].games) least = i;
    if (games <= held[least].games) return 0;
    std::copy(held + least + 1, held + node.count, held + least);
    held[node.count - 1] = ChessOpeningBookMove{move, games, whitePercent, blackPercent};
    return 1;
  }
  // 3. The node's moves must end the move array to grow in place. Books
  //    are read and built one node after the other, so only a node added
  //    to out of turn moves its few entries to the end, leaving their old
  //    slots unused.
  //    Offsets are 32-bit: a book of more moves than they reach is too
  //    large, as one beyond the memory is.
  if (moves.size() > UINT32_MAX - BOOK_MAX_MOVES) throw std::bad_alloc();
  if (node.first + node.count != moves.size()) {
    const u32 to = (u32)moves.size();
    for (u32 i = 0; i < node.count; i++) moves.push_back(moves[node.first + i]);
    node.first = to;
  }
  moves.push_back(ChessOpeningBookMove{move, games, whitePercent, blackPercent});
  node.count++;
  return 1;
}

void ChessOpeningBook::addMovesOf(const ChessOpeningBook& other, const ChessOpeningBookNode& node) {
  const ChessOpeningBookMove* entries = other.movesOf(node);
  for (u32 i = 0; i < node.count; i++)
    addMove(nodes.back(), entries[i].move, entries[i].games, entries[i].whitePercent,
            entries[i].blackPercent);
}

void ChessOpeningBook::addNode(unsigned long long key, ChessMove move, unsigned int games,
                               unsigned char whitePercent, unsigned char blackPercent) {
  ChessOpeningBookNode* node = findPosition(key);
  if (!node) node = &appendNode(key);
  addMove(*node, move, games, whitePercent, blackPercent);
}

void ChessOpeningBook::clear() {
  nodes.clear();
  moves.clear();
}

ChessOpeningBookNode* ChessOpeningBook::findPosition(unsigned long long key) {
  for (ChessOpeningBookNode& node : nodes)
    if (node.key == key) return &node;
  return nullptr;
}

ChessOpeningBookNode* ChessOpeningBook::findPositionFast(unsigned long long key) {
  size_t low = 0, high = nodes.size();  // the range still open: [low, high)
  while (low < high) {
    size_t middle = low + (high - low) / 2;
    u64 middleKey = nodes[middle].key;
    if (middleKey == key) return &nodes[middle];
    if (key < middleKey)
      high = middle;
    else
      low = middle + 1;
  }
  return nullptr;
}

ChessMove ChessOpeningBook::findMove(unsigned long long key) {
  if (nodes.empty()) return emptyMove;
  const ChessOpeningBookNode* node = findPositionFast(key);
  if (!node || node->count == 0) return emptyMove;

  // Weighted choice: entry i replaces the choice with probability
  // games(i) / (games of entries 0..i), which leaves every entry chosen with
  // probability games(i) / total. Two draws are made per entry whatever its
  // count; an entry without games is never chosen, and a node whose entries
  // all lack games answers no move.
  const ChessOpeningBookMove* entries = movesOf(*node);
  u64 total = 0;
  int chosen = -1;
  for (unsigned i = 0; i < node->count; i++) {
    u32 draw = static_cast<u32>(rand());
    draw += static_cast<u32>(rand());
    total += entries[i].games;
    if (total == 0) continue;
    if (draw % total < entries[i].games) chosen = static_cast<int>(i);
  }
  return chosen < 0 ? emptyMove : entries[chosen].move;
}

void ChessOpeningBook::showMoves(unsigned long long key) {
  const ChessOpeningBookNode* node = findPositionFast(key);
  if (!node) {
    Log::print("OpeningBook : no moves found");
    return;
  }
  Log::print("OpeningBook : found %d moves :", node->count);
  const ChessOpeningBookMove* entries = movesOf(*node);
  for (unsigned i = 0; i < node->count; i++) {
    char text[ALGEBRAIC_TEXT_SIZE];
    entries[i].move.text(text);
    Log::print("%s : # %d, white %d %%, black %d %%", text, entries[i].games,
               entries[i].whitePercent, entries[i].blackPercent);
  }
}

int ChessBoard::loadOpeningBook(const std::string& file) {
  useBook = 1;
  return openingBook.load(file);
}

void ChessBoard::unloadOpeningBook() {
  useBook = 0;
  openingBook.clear();
}
