#include "bench/book/stepwise_book.h"

#include <algorithm>
#include <memory>
#include <unordered_map>
#include <vector>

#include "protocol/chessboarduci.h"

namespace bookbench {

bool stepwiseBuildBook(const std::string& pgnFile, const std::string& bookFile, int depth,
                       int minCount) {
  std::unique_ptr<ChessBoardUCI> board(new ChessBoardUCI());
  board->init(1);
  board->newGame();
  ChessGameOpeningList list;
  if (!board->gameLibrary.searchOpening(pgnFile, depth, list)) return false;
  ChessOpeningBook& book = board->openingBook;
  std::unordered_map<u64, size_t> nodeOf;  // addNode's scan, by index
  ChessBoardNode& node = board->currentNode;
  for (u32 i = 0; i < list.entries.size(); i++) {
    const ChessGameOpeningList::Entry& o = list.entries[i];
    if (o.count < (u32)minCount) continue;
    std::vector<u32> sequence;  // the entry's texts, first move first
    for (u32 e = i; e != ChessGameOpeningList::NO_PARENT; e = list.entries[e].parent)
      sequence.push_back(e);
    std::reverse(sequence.begin(), sequence.end());
    // From the start position (taking the moves back restores it).
    board->buildLegalMoves();
    std::vector<ChessMove> made;
    for (u32 e : sequence) {
      char text[PGN_MOVE_TEXT_MAX + 1];
      std::copy(list.entries[e].text, list.entries[e].text + sizeof text, text);
      ChessMove move;
      const u64 key = node.hashKey;
      if (!board->createMove(text, move)) break;
      if (!node.makeMove(move)) {
        node.unMakeMove(move);
        break;
      }
      made.push_back(move);
      auto found = nodeOf.find(key);
      if (found == nodeOf.end()) {
        found = nodeOf.emplace(key, book.nodes.size()).first;
        book.appendNode(key);
      }
      book.addMove(book.nodes[found->second], move, o.count, (u8)((u64)o.whiteWins * 100 / o.count),
                   (u8)((u64)o.blackWins * 100 / o.count));
      board->buildLegalMoves();
    }
    for (size_t k = made.size(); k-- > 0;) node.unMakeMove(made[k]);
  }
  return book.save(bookFile) == 1;
}

}  // namespace bookbench
