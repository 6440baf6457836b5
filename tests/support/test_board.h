// An engine object for unit tests (the callbacks do nothing but count) and the
// position helpers the engine tests share: set-up, move lookup by
// coordinates, legal moves and lines, and a snapshot of the position record.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/chessboard.h"
#include "tests/support/quiet_board.h"

class TestBoard : public QuietBoard {
public:
  int updates = 0;      // calls of onUpdateBoard
  int nextPlayers = 0;  // calls of onNextPlayer

  void onNextPlayer() override { nextPlayers++; }
  void onUpdateBoard() override { updates++; }
};

// Sets up a FEN string (the reader may write into its argument); 1 when
// the position was accepted.
inline int setFen(ChessBoard& board, const std::string& fen) {
  std::vector<char> text(fen.begin(), fen.end());
  text.push_back('\0');
  return board.setFENPosition(text.data());
}

// A board of type B constructed, initialised with a small transposition
// table and set to the start position, or to `fen` when one is given.
template <class B = TestBoard>
std::unique_ptr<B> newBoard(const char* fen = nullptr, unsigned hashMB = 2) {
  std::unique_ptr<B> board(new B());
  board->init(hashMB);
  board->newGame();
  if (fen) {
    EXPECT_EQ(setFen(*board, fen), 1) << fen;
  }
  return board;
}
inline std::unique_ptr<TestBoard> newTestBoard() { return newBoard<TestBoard>(); }
inline std::unique_ptr<TestBoard> boardAt(const char* fen) { return newBoard<TestBoard>(fen); }

// Plays coordinate moves ("e2e4") as game moves; false at the first refusal.
inline bool playMoves(ChessBoard& board, std::initializer_list<const char*> moves) {
  for (const char* m : moves) {
    std::string text(m);
    if (board.setMoveSquare(&text[0]) != 1) return false;
  }
  return true;
}

// Square number of a coordinate such as "e4".
inline unsigned sq(const char* s) { return (unsigned)(s[0] - 'a') + 8u * (unsigned)(s[1] - '1'); }

// Coordinate text of a move: "e2e4", "b7a8q".
inline std::string coord(ChessMove m) {
  std::string s = {char('a' + (m.from() & 7)), char('1' + (m.from() >> 3)),
                   char('a' + (m.to() & 7)), char('1' + (m.to() >> 3))};
  if (m.promotion()) s += "0pnbrqk"[m.promotion()];
  return s;
}

// The full move list as the search builds it: the evasions in check, else
// the captures with the quiet moves behind them.
inline unsigned fullList(ChessBoardNode& node, ChessMoveSort* list) {
  if (node.inCheck()) return (unsigned)node.generateKingEvasion(list);
  unsigned c = 0, q = 0;
  node.generateMovesC(list, &c);
  node.generateMovesNC(list + c, &q);
  return c + q;
}

// The legal moves of the position, found by making each generated move.
inline std::vector<ChessMove> legalMoves(ChessBoardNode& node) {
  ChessMoveSort list[PLY_LIST_SIZE];
  const unsigned n = fullList(node, list);
  std::vector<ChessMove> legal;
  for (unsigned i = 0; i < n; i++) {
    if (node.makeMove(list[i].move)) legal.push_back(list[i].move);
    node.unMakeMove(list[i].move);
  }
  return legal;
}

inline bool isLegal(ChessBoardNode& node, ChessMove move) {
  for (ChessMove m : legalMoves(node))
    if (m == move) return true;
  return false;
}

// The generated move with this coordinate text ("e2e4", "b7a8q"); 0 and a
// test failure when there is none.
inline ChessMove findMove(ChessBoardNode& node, const std::string& text) {
  ChessMoveSort list[PLY_LIST_SIZE];
  const unsigned n = fullList(node, list);
  for (unsigned i = 0; i < n; i++)
    if (coord(list[i].move) == text) return list[i].move;
  ADD_FAILURE() << "no move " << text;
  return 0;
}

// How many leading moves of the line are legal in turn (played, then taken
// back).
inline u32 legalPrefix(ChessBoardNode& node, const PLine& line) {
  u32 n = 0;
  while (n < line.count && isLegal(node, line.moves[n].move)) node.makeMove(line.moves[n++].move);
  for (u32 i = n; i > 0; i--) node.unMakeMove(line.moves[i - 1].move);
  return n;
}

// Every field of the position record that make and unmake may touch, and
// the keys of the history in use.
// clang-format off
#define QUARVEL_NODE_FIELDS(X)                                                                 \
  X(bbAllPiece) X(bbColorPiece) X(bbPiece) X(hashKey) X(material) X(sideToMove) X(opponent)   \
  X(gamePhase) X(phaseSum) X(pstMiddlegame) X(pstEndgame) X(castleRights) X(enPassantFile)   \
  X(halfMoveClock) X(nodeState) X(pieceCount) X(pieceArray) X(kingSquare) X(hashHistoryCount) \
  X(undoCount)
// clang-format on

struct NodeFields {
#define QUARVEL_DECLARE(f) decltype(ChessBoardNode::f) f;
  QUARVEL_NODE_FIELDS(QUARVEL_DECLARE)
#undef QUARVEL_DECLARE
  std::vector<u64> history;

  explicit NodeFields(const ChessBoardNode& n)
      : history(n.hashHistory, n.hashHistory + std::min(n.hashHistoryCount, HASH_HISTORY_SIZE)) {
#define QUARVEL_COPY(f) memcpy(&f, &n.f, sizeof f);
    QUARVEL_NODE_FIELDS(QUARVEL_COPY)
#undef QUARVEL_COPY
  }
};

// Names of the fields that differ; empty when the two are equal.
inline std::string differences(const NodeFields& a, const NodeFields& b) {
  std::string out;
#define QUARVEL_COMPARE(f) \
  if (memcmp(&a.f, &b.f, sizeof a.f) != 0) out += #f " ";
  QUARVEL_NODE_FIELDS(QUARVEL_COMPARE)
#undef QUARVEL_COMPARE
  return a.history == b.history ? out : out + "hashHistory";
}
