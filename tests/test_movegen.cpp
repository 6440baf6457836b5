// Move generation: the order of the moves in each list (the divide output
// follows it), whole-tree walks that hold the evasions and validMove against
// the full list, and the bound on a list's length.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "engine/bitboard.h"
#include "tests/support/test_board.h"

namespace {

// Coordinate text with the move's kind: "e5d6ep" en passant, "e1g1oo"
// castling, "e2e4dp" double push, "xN" added for a capture of piece N.
std::string describe(const ChessMoveSort* list, unsigned n) {
  std::string out;
  for (unsigned i = 0; i < n; i++) {
    const ChessMove m = list[i].move;
    out += (i ? " " : "") + coord(m);
    if (m.isEnPassant()) out += "ep";
    if (m.isCastle()) out += "oo";
    if (m.isDoublePush()) out += "dp";
    if (m.captured() && !m.isEnPassant()) out += std::string("x") + "0pnbrqk"[m.captured()];
  }
  return out;
}

std::set<u32> legalOf(ChessBoardNode& node, const ChessMoveSort* list, unsigned n) {
  std::set<u32> legal;
  for (unsigned i = 0; i < n; i++) {
    if (node.makeMove(list[i].move)) legal.insert(list[i].move);
    node.unMakeMove(list[i].move);
  }
  return legal;
}

// Over a whole tree: every generated move passes validMove; in check, the
// evasions hold exactly the legal moves of the full list; a move of the
// positions one and two plies up (either side to move) passes validMove
// exactly when this position's full list holds it too.
void walk(ChessBoardNode& node, int depth, const std::vector<u32>& parentMoves,
          const std::vector<u32>& grandparentMoves, u64& inCheck, u64& candidates) {
  ChessMoveSort full[PLY_LIST_SIZE], evasions[PLY_LIST_SIZE];
  unsigned c = 0, q = 0;
  node.generateMovesC(full, &c);
  node.generateMovesNC(full + c, &q);
  std::vector<u32> mine;
  for (unsigned i = 0; i < c + q; i++) {
    ASSERT_EQ(node.validMove(full[i].move), 1) << coord(full[i].move);
    mine.push_back(full[i].move);
  }
  const std::set<u32> generated(mine.begin(), mine.end());
  for (const std::vector<u32>* moves : {&parentMoves, &grandparentMoves}) {
    for (u32 m : *moves) {
      candidates++;
      ASSERT_EQ(node.validMove(m) == 1, generated.count(m) == 1) << coord(m);
    }
  }
  const ChessMoveSort* walked = full;
  unsigned count = c + q;
  if (node.inCheck()) {
    inCheck++;
    count = (unsigned)node.generateKingEvasion(evasions);
    walked = evasions;
    ASSERT_EQ(legalOf(node, evasions, count), legalOf(node, full, c + q));
  }
  if (depth == 0) return;
  for (unsigned i = 0; i < count; i++) {
    if (node.makeMove(walked[i].move))
      walk(node, depth - 1, mine, parentMoves, inCheck, candidates);
    node.unMakeMove(walked[i].move);
    if (::testing::Test::HasFatalFailure()) return;
  }
}

}  // namespace

TEST(MoveGen, ListOrder) {
  // C: captures (piece captures by kind knight .. king, each by ascending
  // square and target; then push promotions, pawn captures, en passant).
  // Q: quiet moves (pieces, castling, single then double pushes).
  // E: evasions (king moves, blocks by pawns, double pushes, pieces by
  // kind, then captures of the checker).
  const struct {
    char list;
    const char* fen;
    const char* moves;
  } cases[] = {
      {'Q', "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
       "b1a3 b1c3 g1f3 g1h3 a2a3 b2b3 c2c3 d2d3 e2e3 f2f3 g2g3 h2h3 "
       "a2a4dp b2b4dp c2c4dp d2d4dp e2e4dp f2f4dp g2g4dp h2h4dp"},
      {'C', "r3k3/1P6/8/3pP3/1N6/8/8/4K3 w - d6 0 1",
       "b4d5xp b7b8q b7b8r b7b8n b7b8b b7a8qxr b7a8rxr b7a8nxr b7a8bxr e5d6ep"},
      {'C', "4k3/8/2p1pn2/1Q1B4/2r1N3/4Kp2/8/8 w - - 0 1",
       "e4f6xn d5c4xr d5c6xp d5e6xp b5c4xr b5c6xp e3f3xp"},
      {'C', "4k3/8/8/8/5Pp1/8/6p1/4K2R b - f3 0 1",
       "g2g1q g2g1r g2g1n g2g1b g2h1qxr g2h1rxr g2h1nxr g2h1bxr g4f3ep"},
      {'C', "4k3/8/8/1P1PpP2/8/8/8/4K3 w - e6 0 1", "d5e6ep f5e6ep"},
      {'Q', "r3k2r/8/8/8/8/8/P6P/R3K2R w KQkq - 0 1",
       "a1b1 a1c1 a1d1 h1f1 h1g1 e1d1 e1f1 e1d2 e1e2 e1f2 e1g1oo e1c1oo a2a3 h2h3 a2a4dp h2h4dp"},
      {'Q', "r3k2r/p6p/8/8/8/8/8/R3K2R b KQkq - 0 1",
       "a8b8 a8c8 a8d8 h8f8 h8g8 e8d7 e8e7 e8f7 e8d8 e8f8 e8g8oo e8c8oo a7a6 h7h6 a7a5dp h7h5dp"},
      {'E', "k7/3B2Q1/8/8/r6K/1PP5/1N2P2B/R7 w - - 0 1",
       "h4g3 h4h3 h4g4 h4g5 h4h5 b3b4 c3c4 e2e4dp b2c4 h2f4 d7g4 g7d4 g7g4 "
       "b3a4xr b2a4xr d7a4xr a1a4xr"},
      {'E', "7k/8/8/2Pp4/4K3/8/8/8 w - d6 0 1", "e4d3 e4e3 e4f3 e4d4 e4f4 e4d5xp e4e5 e4f5 c5d6ep"},
      {'E', "4r2k/8/8/8/8/R2n4/8/4K3 w - - 0 1", "e1d1 e1f1 e1d2 e1e2 e1f2"},  // double check
  };
  for (const auto& c : cases) {
    auto board = boardAt(c.fen);
    ChessBoardNode& node = board->currentNode;
    ChessMoveSort list[PLY_LIST_SIZE];
    unsigned n = 0;
    if (c.list == 'C') node.generateMovesC(list, &n);
    if (c.list == 'Q') {
      const int written = node.generateMovesNC(list, &n);
      EXPECT_EQ(written, (int)n);
    }
    if (c.list == 'E') n = (unsigned)node.generateKingEvasion(list);
    EXPECT_EQ(describe(list, n), c.moves) << c.fen;
    // generateMoves gives the full list and notes check in nodeState.
    ChessMoveSort full[PLY_LIST_SIZE], all[PLY_LIST_SIZE];
    unsigned count = 0;
    node.generateMoves(all, &count, node.inCheck());
    EXPECT_EQ(node.nodeState, c.list == 'E' ? NODE_CHECK : NODE_NORMAL);
    EXPECT_EQ(describe(all, count), describe(full, fullList(node, full)));
  }
}

TEST(MoveGen, WalksAgreeWithLegalityAndValidity) {
  const struct {
    const char* fen;
    int depth;
  } cases[] = {
      {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", 2},
      {"8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", 4},
      {"r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1", 2},
      {"rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8", 2},
      {"n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1", 3},
  };
  u64 inCheck = 0, candidates = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fen);
    auto board = boardAt(c.fen);
    walk(board->currentNode, c.depth, {}, {}, inCheck, candidates);
    if (HasFatalFailure()) return;
  }
  EXPECT_GT(inCheck, 1000u);
  EXPECT_GT(candidates, 100000u);
}

TEST(MoveGen, ListsStopAtTheirCapacity) {
  // 27 white queens round the edge and a black king in the middle: far more
  // than MAX_MOVES pseudo-legal moves.
  auto board = newTestBoard();
  ChessBoardNode& node = board->currentNode;
  u8 placement[64] = {0};
  for (unsigned s = 0; s < 64; s++)
    if (s < 8 || s >= 56 || (s & 7) == 0 || (s & 7) == 7) placement[s] = WHITE * 7 + QUEEN;
  placement[sq("a1")] = WHITE * 7 + KING;
  placement[sq("d4")] = BLACK * 7 + KING;
  board->placePieces(placement);
  node.castleRights = 0;
  node.hashKey = node.createHashKey();

  // Captures and quiet moves appended behind them share MAX_MOVES entries;
  // the entries past them stay untouched.
  ChessMoveSort buffer[MAX_MOVES + 8];
  memset((void*)buffer, 0xA5, sizeof buffer);
  unsigned c = 0, q = 0;
  node.generateMovesC(buffer, &c);
  node.generateMovesNC(buffer + c, &q);
  EXPECT_GT(c, 0u);
  EXPECT_EQ(c + q, MAX_MOVES);
  for (unsigned i = MAX_MOVES; i < MAX_MOVES + 8; i++) EXPECT_EQ(buffer[i].move.move, 0xA5A5A5A5u);
  EXPECT_EQ(describe(buffer, 1), "d1d4xk");  // the unbounded order's first move
  q = 0;
  node.generateMovesNC(buffer, &q);  // a quiet list on its own gets the full room
  EXPECT_EQ(q, MAX_MOVES);
  unsigned n = 0;
  EXPECT_EQ(node.generateMoves(buffer, &n, 0), (int)MAX_MOVES);
  board->buildLegalMoves();
  EXPECT_EQ(board->legalMoveCount, MAX_MOVES);
  // The bound by piece kinds sees that the list may not fit; for a side
  // with the pieces of the start position it fits.
  EXPECT_FALSE(node.fullListFits());
  EXPECT_TRUE(newTestBoard()->currentNode.fullListFits());
}

TEST(MoveGen, ValidMoveRefusesWordsTheGeneratorNeverWrites) {
  auto board = boardAt("r3k2r/1P6/8/3pP3/8/8/4P1N1/R3K2R w KQkq d6 0 1");
  ChessBoardNode& node = board->currentNode;
  const u32 knight = ChessMove::make(sq("g2"), sq("f4"), KNIGHT);
  const u32 push = ChessMove::make(sq("e2"), sq("e3"), PAWN);
  const u32 promotion = ChessMove::make(sq("b7"), sq("b8"), PAWN, 0, QUEEN);
  const u32 enPassant = ChessMove::make(sq("e5"), sq("d6"), PAWN, PAWN) | MOVE_EN_PASSANT;
  const u32 castle = 0x206184;  // e1-g1
  for (u32 m : {knight, push, promotion, enPassant, castle}) EXPECT_EQ(node.validMove(m), 1);
  const u32 refused[] = {
      knight | MOVE_CHECK,                                 // a marker
      knight | (QUEEN << 18),                              // a promotion
      knight | MOVE_DOUBLE_PUSH,                           // a flag
      push | MOVE_DOUBLE_PUSH,                             // double push of one square
      ChessMove::make(sq("b7"), sq("b8"), PAWN),           // last rank without promotion
      push | (QUEEN << 18),                                // promotion short of it
      ChessMove::make(sq("b7"), sq("b8"), PAWN, 0, KING),  // promotion to a king
      ChessMove::make(sq("e5"), sq("e4"), PAWN),           // a pawn going back
      ChessMove::make(sq("e5"), sq("d6"), PAWN, PAWN),     // en passant without its flag
      enPassant | MOVE_CHECK,                              // en passant with a marker
      castle | (ROOK << 15),                               // castling that captures
      ChessMove::make(sq("e1"), sq("g1"), KING),           // king's two steps unflagged
      ChessMove::make(sq("a1"), sq("a8"), ROOK, QUEEN),    // the wrong victim
  };
  for (u32 m : refused) EXPECT_EQ(node.validMove(m), 0) << std::hex << m;
}
