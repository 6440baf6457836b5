// Opening-book building: the sequences that enough games of a PGN
// collection begin with are replayed from the start position, and each
// (position, move) pair joins the book with the statistics of the first
// sequence, in list order, that plays it.
//
// Every sequence stands in the list after the shorter ones it extends, and
// those are retained whenever it is (their game counts are at least its
// own). So the pairs of a sequence before its last move were all offered to
// the book already, with a shorter sequence's statistics, and offering them
// again changes nothing: a pair keeps its first statistics, and one that a
// full node dropped or let go had no more games than the node's least
// played move, a count that only grows while the node stays full, so the
// fewer games of the longer sequence are dropped again. Each retained
// sequence therefore adds exactly one pair, its last move from the position
// after the others. The build replays the tree of sequences once, depth
// first, to find those pairs, then adds them in list order; the book file
// is the same as that of replaying every sequence move by move from a new
// game.
#include <algorithm>
#include <new>
#include <vector>

#include "engine/chessboard.h"
#include "engine/log.h"

namespace {

// One pair to add: the key of the position, the move, and the list index of
// the sequence whose last move it is (which fixes the order of adding).
struct BookPair {
  u64 key;
  u32 order;
  ChessMove move;
};

// The retained sequences as a tree: the first child and the next sibling of
// every entry, NO_PARENT for none; the root (the empty sequence) is the
// slot after the last entry.
struct SequenceTree {
  std::vector<u32> firstChild, nextSibling;
  u32 root;

  SequenceTree(const ChessGameOpeningList& list, u32 minCount) {
    const u32 n = (u32)list.entries.size();
    root = n;
    firstChild.assign(n + 1, ChessGameOpeningList::NO_PARENT);
    nextSibling.assign(n, ChessGameOpeningList::NO_PARENT);
    for (u32 i = n; i-- > 0;) {
      const ChessGameOpeningList::Entry& e = list.entries[i];
      if (e.count < minCount) continue;
      const u32 parent = e.parent == ChessGameOpeningList::NO_PARENT ? root : e.parent;
      nextSibling[i] = firstChild[parent];
      firstChild[parent] = i;
    }
  }
};

// Starts the game position afresh: the start position, an empty record and
// its move list.
void resetGame(ChessBoard& board) {
  board.newGame();
  board.gameLength = 0;
  board.curMoveIndex = 0;
  board.currentNode.undoCount = 0;
  board.buildLegalMoves();
}

// Replays the tree depth first from the start position. A move text that
// cannot be read as a legal move of its position ends its sequence and
// every longer one: nothing is added for it or after it.
std::vector<BookPair> replaySequences(ChessBoard& board, const ChessGameOpeningList& list,
                                      const SequenceTree& tree) {
  const u32 NONE = ChessGameOpeningList::NO_PARENT;
  ChessBoardNode& node = board.currentNode;
  std::vector<BookPair> pairs;
  std::vector<BookPair> path;  // the sequence on the board, one pair a ply
  u32 next = tree.firstChild[tree.root];
  for (;;) {
    if (next == NONE) {
      // 1. No more sequences below the one on the board: take its last move
      //    back and go on with its next sibling.
      if (path.empty()) break;
      const BookPair done = path.back();
      path.pop_back();
      node.unMakeMove(done.move);
      board.buildLegalMoves();
      next = tree.nextSibling[done.order];
      continue;
    }
    // 2. The entry's last move text against the position on the board.
    const ChessGameOpeningList::Entry& e = list.entries[next];
    char text[PGN_MOVE_TEXT_MAX + 1];
    std::copy(e.text, e.text + sizeof text, text);
    ChessMove move;
    if (!board.createMove(text, move)) {
      Log::print("error, incorrect move : '%s'", text);
    } else if (node.canMakeMove()) {
      const BookPair pair = {node.hashKey, next, move};
      if (node.makeMove(move)) {
        // 3. Its pair, then the longer sequences from the new position.
        pairs.push_back(pair);
        path.push_back(pair);
        board.buildLegalMoves();
        next = tree.firstChild[pair.order];
        continue;
      }
      node.unMakeMove(move);
    }
    next = tree.nextSibling[next];
  }
  return pairs;
}

// Adds the pairs to the book in list order. The book's nodes end up in
// ascending order of key, the order the file is written in; the nodes it
// held before keep their moves first.
void addPairs(ChessOpeningBook& book, const ChessGameOpeningList& list,
              std::vector<BookPair>& pairs) {
  std::sort(pairs.begin(), pairs.end(), [](const BookPair& a, const BookPair& b) {
    return a.key != b.key ? a.key < b.key : a.order < b.order;
  });
  std::vector<ChessOpeningBookNode>& old = book.nodes;
  std::sort(
      old.begin(), old.end(),
      [](const ChessOpeningBookNode& a, const ChessOpeningBookNode& b) { return a.key < b.key; });
  size_t keys = 0;
  for (size_t i = 0; i < pairs.size(); i++) keys += i == 0 || pairs[i].key != pairs[i - 1].key;

  // The merged book is written node after node, each with its moves side
  // by side: an old node's moves, then the new ones of its key.
  ChessOpeningBook merged;
  merged.nodes.reserve(old.size() + keys);
  merged.moves.reserve(book.moves.size() + pairs.size());
  auto copyOld = [&](const ChessOpeningBookNode& node) {
    merged.appendNode(node.key);
    merged.addMovesOf(book, node);
  };
  size_t o = 0;
  for (size_t i = 0; i < pairs.size(); i++) {
    const u64 key = pairs[i].key;
    if (i == 0 || key != pairs[i - 1].key) {
      while (o < old.size() && old[o].key < key) copyOld(old[o++]);
      if (o < old.size() && old[o].key == key)
        copyOld(old[o++]);
      else
        merged.appendNode(key);
    }
    const ChessGameOpeningList::Entry& e = list.entries[pairs[i].order];
    merged.addMove(merged.nodes.back(), pairs[i].move, e.count,
                   (u8)((u64)e.whiteWins * 100 / e.count), (u8)((u64)e.blackWins * 100 / e.count));
  }
  while (o < old.size()) copyOld(old[o++]);
  book.nodes.swap(merged.nodes);
  book.moves.swap(merged.moves);
}

}  // namespace

int ChessBoard::buildOpeningBook(const std::string& pgnFile, const std::string& bookFile, int depth,
                                 int minCount) {
  int result = BOOK_BUILT;
  try {
    // 1. The sequences of the collection with their games and results.
    ChessGameOpeningList list;
    if (!gameLibrary.searchOpening(pgnFile, depth, list)) return BOOK_PGN_UNREADABLE;
    Log::print("Build Opening Book");

    // 2-3. The pairs of the sequences of at least minCount games (compared
    //      unsigned: a negative count retains nothing), added to the book.
    const SequenceTree tree(list, (u32)minCount);
    resetGame(*this);
    std::vector<BookPair> pairs = replaySequences(*this, list, tree);
    Log::print("Number of interresting opening found = %d", (int)pairs.size());
    addPairs(openingBook, list, pairs);

    // 4-5. The book file, written completely or reported as not written.
    Log::print("ouput to file : %s", bookFile.c_str());
    if (!openingBook.save(bookFile)) result = BOOK_NOT_WRITTEN;
  } catch (const std::bad_alloc&) {
    result = BOOK_OUT_OF_MEMORY;
  }
  // 6. The engine stands at the start position with an empty record.
  resetGame(*this);
  return result;
}
