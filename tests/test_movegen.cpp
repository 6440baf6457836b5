// Move generation: the order of the moves in a list (divide output depends
// on it), castling and en-passant rules, check evasions against the full
// list, the pin and validity tests, and the bound on a list's length.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "engine/bitboard.h"
#include "tests/support/test_board.h"

namespace {

unsigned sq(const char* name) { return (unsigned)(name[0] - 'a') + 8u * (unsigned)(name[1] - '1'); }

// Coordinate text of a move with its kind: "b7a8q" for a promotion, "e5d6ep"
// for en passant, "e1g1oo" for castling, "e2e4dp" for a double push, and
// "xN" added for a capture of piece letter N.
std::string describe(ChessMove m) {
  std::string s;
  s += (char)('a' + (m.from() & 7));
  s += (char)('1' + (m.from() >> 3));
  s += (char)('a' + (m.to() & 7));
  s += (char)('1' + (m.to() >> 3));
  if (m.promotion()) s += pieceName[m.promotion()];
  if (m.isEnPassant()) s += "ep";
  if (m.isCastle()) s += "oo";
  if (m.isDoublePush()) s += "dp";
  if (m.captured() && !m.isEnPassant()) s += std::string("x") + pieceName[m.captured()];
  return s;
}

std::string describe(const ChessMoveSort* list, unsigned n) {
  std::string out;
  for (unsigned i = 0; i < n; i++) out += (i ? " " : "") + describe(list[i].move);
  return out;
}

class MoveGen : public ::testing::Test {
protected:
  void SetUp() override { board = newTestBoard(); }
  void set(const char* fen) {
    std::string text(fen);
    ASSERT_EQ(board->setFENPosition(&text[0]), 1) << fen;
  }
  ChessBoardNode& node() { return board->currentNode; }
  std::string captures() {
    unsigned n = 0;
    node().generateMovesC(list, &n);
    return describe(list, n);
  }
  std::string quiet() {
    unsigned n = 0;
    const int written = node().generateMovesNC(list, &n);
    EXPECT_EQ(written, (int)n);
    return describe(list, n);
  }
  std::string evasions() { return describe(list, (unsigned)node().generateKingEvasion(list)); }
  bool hasMove(const std::string& text, const std::string& all) {
    return (" " + all + " ").find(" " + text + " ") != std::string::npos;
  }
  std::unique_ptr<TestBoard> board;
  ChessMoveSort list[PLY_LIST_SIZE];
};

// Legal moves of a list, as texts, found by making each one.
std::set<std::string> legalOf(ChessBoardNode& node, const ChessMoveSort* list, unsigned n) {
  std::set<std::string> legal;
  for (unsigned i = 0; i < n; i++) {
    if (node.makeMove(list[i].move)) legal.insert(describe(list[i].move));
    node.unMakeMove(list[i].move);
  }
  return legal;
}

struct WalkTotals {
  u64 positions = 0, inCheck = 0, candidates = 0;
};

// Over a whole tree: every generated move passes validMove; in check, the
// evasions hold exactly the legal moves of the full list; out of check, a
// move of the position two plies up (same side to move) passes validMove
// exactly when this position generates it too.
void walk(ChessBoardNode& node, int depth, const std::vector<ChessMove>& parentMoves,
          const std::vector<ChessMove>& grandparentMoves, WalkTotals& totals) {
  ChessMoveSort full[PLY_LIST_SIZE], evasions[PLY_LIST_SIZE];
  unsigned c = 0, q = 0;
  node.generateMovesC(full, &c);
  node.generateMovesNC(full + c, &q);
  const unsigned n = c + q;
  totals.positions++;
  std::vector<ChessMove> mine;
  for (unsigned i = 0; i < n; i++) {
    ASSERT_EQ(node.validMove(full[i].move), 1) << describe(full[i].move);
    mine.push_back(full[i].move);
  }

  const ChessMoveSort* walked = full;
  unsigned walkedCount = n;
  if (node.inCheck()) {
    totals.inCheck++;
    walkedCount = (unsigned)node.generateKingEvasion(evasions);
    walked = evasions;
    ASSERT_EQ(legalOf(node, evasions, walkedCount), legalOf(node, full, n));
  } else {
    std::set<u32> generated;
    for (ChessMove m : mine) generated.insert(m.move);
    for (ChessMove m : grandparentMoves) {
      totals.candidates++;
      ASSERT_EQ(node.validMove(m) == 1, generated.count(m.move) == 1) << describe(m);
    }
  }
  if (depth == 0) return;
  for (unsigned i = 0; i < walkedCount; i++) {
    const ChessMove m = walked[i].move;
    if (node.makeMove(m)) walk(node, depth - 1, mine, parentMoves, totals);
    node.unMakeMove(m);
    if (::testing::Test::HasFatalFailure()) return;
  }
}

}  // namespace

TEST_F(MoveGen, StartPositionOrder) {
  EXPECT_EQ(captures(), "");
  EXPECT_EQ(quiet(),
            "b1a3 b1c3 g1f3 g1h3 "
            "a2a3 b2b3 c2c3 d2d3 e2e3 f2f3 g2g3 h2h3 "
            "a2a4dp b2b4dp c2c4dp d2d4dp e2e4dp f2f4dp g2g4dp h2h4dp");
}

TEST_F(MoveGen, CaptureListOrder) {
  // Piece captures, then push promotions, pawn captures (promoting on the
  // last rank) and en passant last.
  set("r3k3/1P6/8/3pP3/1N6/8/8/4K3 w - d6 0 1");
  EXPECT_EQ(captures(),
            "b4d5xp b7b8q b7b8r b7b8n b7b8b b7a8qxr b7a8rxr b7a8nxr b7a8bxr e5d6ep");
  // Pieces by kind (knight, bishop, rook, queen, king), each by ascending
  // square, each one's targets by ascending square.
  set("4k3/8/2p1pn2/1Q1B4/2r1N3/4Kp2/8/8 w - - 0 1");
  EXPECT_EQ(captures(), "e4f6xn d5c4xr d5c6xp d5e6xp b5c4xr b5c6xp e3f3xp");
  // Black: promotions towards rank 1, en passant onto rank 3.
  set("4k3/8/8/8/5Pp1/8/6p1/4K2R b - f3 0 1");
  EXPECT_EQ(captures(), "g2g1q g2g1r g2g1n g2g1b g2h1qxr g2h1rxr g2h1nxr g2h1bxr g4f3ep");
}

TEST_F(MoveGen, EnPassantOnlyBesideTheTarget) {
  set("4k3/8/8/1P1PpP2/8/8/8/4K3 w - e6 0 1");
  EXPECT_EQ(node().enPassantFile, 5);
  EXPECT_EQ(captures(), "d5e6ep f5e6ep");
  EXPECT_EQ(list[0].move.to(), 44u);
}

TEST_F(MoveGen, QuietListOrderWithCastling) {
  set("r3k2r/8/8/8/8/8/P6P/R3K2R w KQkq - 0 1");
  EXPECT_EQ(quiet(),
            "a1b1 a1c1 a1d1 h1f1 h1g1 e1d1 e1f1 e1d2 e1e2 e1f2 e1g1oo e1c1oo "
            "a2a3 h2h3 a2a4dp h2h4dp");
  set("r3k2r/p6p/8/8/8/8/8/R3K2R b KQkq - 0 1");
  EXPECT_EQ(quiet(),
            "a8b8 a8c8 a8d8 h8f8 h8g8 e8d7 e8e7 e8f7 e8d8 e8f8 e8g8oo e8c8oo "
            "a7a6 h7h6 a7a5dp h7h5dp");
}

TEST_F(MoveGen, CastlingRules) {
  // In check: no castling.
  set("4r1k1/8/8/8/8/8/8/R3K2R w KQ - 0 1");
  EXPECT_FALSE(hasMove("e1g1oo", quiet()));
  EXPECT_FALSE(hasMove("e1c1oo", quiet()));
  // A square the king passes (f1) or lands on (c1) attacked.
  set("6k1/8/b7/8/8/8/8/R3K2R w KQ - 0 1");
  EXPECT_FALSE(hasMove("e1g1oo", quiet()));
  EXPECT_TRUE(hasMove("e1c1oo", quiet()));
  set("2r3k1/8/8/8/8/8/8/R3K2R w KQ - 0 1");
  EXPECT_TRUE(hasMove("e1g1oo", quiet()));
  EXPECT_FALSE(hasMove("e1c1oo", quiet()));
  // b1 occupied stops the queen side; b1 attacked does not.
  set("6k1/8/8/8/8/8/8/RN2K2R w KQ - 0 1");
  EXPECT_FALSE(hasMove("e1c1oo", quiet()));
  set("1r4k1/8/8/8/8/8/8/R3K2R w KQ - 0 1");
  EXPECT_TRUE(hasMove("e1c1oo", quiet()));
  set("r3k2r/8/8/8/8/8/8/1R2K1R1 b kq - 0 1");
  EXPECT_TRUE(hasMove("e8c8oo", quiet()));
  EXPECT_FALSE(hasMove("e8g8oo", quiet()));
}

TEST_F(MoveGen, DoubleCheckGivesKingMovesOnly) {
  set("4r2k/8/8/8/8/R2n4/8/4K3 w - - 0 1");
  EXPECT_EQ(evasions(), "e1d1 e1f1 e1d2 e1e2 e1f2");
}

TEST_F(MoveGen, AdjacentCheckerIsNotBlocked) {
  set("4k3/8/8/8/8/8/4q3/2NBK3 w - - 0 1");
  EXPECT_EQ(evasions(), "e1f1 e1d2 e1e2xq e1f2 c1e2xq d1e2xq");
}

TEST_F(MoveGen, EvasionOrder) {
  // A rook checks from a distance: king moves, blocks onto the line by pawn
  // pushes, double pushes, knights, bishops, rooks and queens, then the
  // captures of the rook by pawns, knights, bishops, rooks and queens.
  set("k7/3B2Q1/8/8/r6K/1PP5/1N2P2B/R7 w - - 0 1");
  EXPECT_EQ(evasions(),
            "h4g3 h4h3 h4g4 h4g5 h4h5 "
            "b3b4 c3c4 e2e4dp b2c4 h2f4 d7g4 g7d4 g7g4 "
            "b3a4xr b2a4xr d7a4xr a1a4xr");
}

TEST_F(MoveGen, EnPassantAnswersThePawnCheck) {
  set("7k/8/8/2Pp4/4K3/8/8/8 w - d6 0 1");
  ASSERT_TRUE(node().inCheck());
  EXPECT_EQ(evasions(), "e4d3 e4e3 e4f3 e4d4 e4f4 e4d5xp e4e5 e4f5 c5d6ep");
}

TEST_F(MoveGen, PinTest) {
  set("4r1k1/8/8/8/8/8/4N3/4K3 w - - 0 1");
  EXPECT_EQ(node().isPinned(sq("e2"), WHITE), 1);   // the knight is pinned
  EXPECT_EQ(node().isPinned(sq("e5"), WHITE), 0);   // the knight stands between
  EXPECT_EQ(node().isPinned(sq("d2"), WHITE), 0);   // not on a line with a slider
  set("4r1k1/8/8/8/8/8/8/4K3 w - - 0 1");
  EXPECT_EQ(node().isPinned(sq("e5"), WHITE), 1);   // empty square on the open line
  EXPECT_EQ(node().isPinned(sq("e1"), WHITE), 0);   // the king's own square
  set("6k1/8/8/8/1q6/8/3B4/4K3 w - - 0 1");
  EXPECT_EQ(node().isPinned(sq("d2"), WHITE), 1);   // diagonal pin by a queen
  EXPECT_EQ(node().isPinned(sq("c3"), WHITE), 0);
  set("6k1/8/8/8/1r6/8/3B4/4K3 w - - 0 1");
  EXPECT_EQ(node().isPinned(sq("d2"), WHITE), 0);   // a rook does not pin diagonally
}

TEST_F(MoveGen, ValidMove) {
  EXPECT_EQ(node().validMove(0), 0);
  EXPECT_EQ(node().validMove(ChessMove::make(sq("e2"), sq("e4"), PAWN, 0, 0, MOVE_DOUBLE_PUSH)), 1);
  EXPECT_EQ(node().validMove(ChessMove::make(sq("e4"), sq("e5"), PAWN)), 0);   // no pawn there
  EXPECT_EQ(node().validMove(ChessMove::make(sq("f1"), sq("c4"), BISHOP)), 0);  // blocked
  EXPECT_EQ(node().validMove(ChessMove::make(sq("g1"), sq("f3"), KNIGHT)), 1);
  EXPECT_EQ(node().validMove(ChessMove::make(sq("g1"), sq("e2"), KNIGHT)), 0);  // own pawn
  // Castling: the destination attacked; b1 occupied.
  set("r3k2r/8/8/8/8/8/8/RN2K2R w KQkq - 0 1");
  const ChessMove oo = 0x206184, ooo = 0x206084;
  EXPECT_EQ(node().validMove(oo), 1);
  EXPECT_EQ(node().validMove(ooo), 0);
  set("r3k1r1/8/8/8/8/8/8/R3K2R w KQq - 0 1");
  EXPECT_EQ(node().validMove(oo), 0);
  EXPECT_EQ(node().validMove(ooo), 1);
  EXPECT_EQ(node().validMove(ChessMove(0x206EBC)), 0);   // black's move, white to move
  // En passant only onto the file's target with the pawn behind it.
  set("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1");
  EXPECT_EQ(node().validMove(ChessMove::make(sq("e5"), sq("d6"), PAWN, PAWN, 0, MOVE_EN_PASSANT)), 1);
  EXPECT_EQ(node().validMove(ChessMove::make(sq("e5"), sq("f6"), PAWN, PAWN, 0, MOVE_EN_PASSANT)), 0);
  set("4k3/8/8/3pP3/8/8/8/4K3 w - - 0 1");
  EXPECT_EQ(node().validMove(ChessMove::make(sq("e5"), sq("d6"), PAWN, PAWN, 0, MOVE_EN_PASSANT)), 0);
  // A capture needs that piece on the target.
  set("4k3/8/8/3p4/4P3/8/8/4K3 w - - 0 1");
  EXPECT_EQ(node().validMove(ChessMove::make(sq("e4"), sq("d5"), PAWN, PAWN)), 1);
  EXPECT_EQ(node().validMove(ChessMove::make(sq("e4"), sq("d5"), PAWN, KNIGHT)), 0);
}

TEST_F(MoveGen, WalksAgreeWithLegalityAndValidity) {
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
  WalkTotals totals;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fen);
    set(c.fen);
    walk(node(), c.depth, {}, {}, totals);
    if (HasFatalFailure()) return;
  }
  EXPECT_GT(totals.inCheck, 1000u);
  EXPECT_GT(totals.candidates, 100000u);
}

TEST_F(MoveGen, ListsStopAtTheirCapacity) {
  // 27 white queens round the edge and a black king in the middle: far more
  // than MAX_MOVES pseudo-legal moves.
  u8 placement[64] = {0};
  for (unsigned s = 0; s < 64; s++) {
    unsigned r = s >> 3, f = s & 7;
    if (r == 0 || r == 7 || f == 0 || f == 7) placement[s] = WHITE * 7 + QUEEN;
  }
  placement[sq("a1")] = WHITE * 7 + KING;
  placement[sq("d4")] = BLACK * 7 + KING;
  board->placePieces(placement);
  node().castleRights = 0;
  node().hashKey = node().createHashKey();

  unsigned unbounded = 0;
  for (unsigned s = 0; s < 64; s++)
    if (node().bbColorPiece[WHITE] & (1ULL << s))
      unbounded += popCount((node().pieceArray[s] == QUEEN ? queenAttacks(s, node().bbAllPiece)
                                                           : bbKingAttack[s]) &
                            ~node().bbColorPiece[WHITE]);
  ASSERT_GT(unbounded, MAX_MOVES);

  // Captures and quiet moves appended behind them share MAX_MOVES entries;
  // the entries past them stay untouched.
  ChessMoveSort buffer[MAX_MOVES + 8];
  memset((void*)buffer, 0xA5, sizeof buffer);
  unsigned c = 0, q = 0;
  node().generateMovesC(buffer, &c);
  node().generateMovesNC(buffer + c, &q);
  EXPECT_GT(c, 0u);
  EXPECT_EQ(c + q, MAX_MOVES);
  for (unsigned i = MAX_MOVES; i < MAX_MOVES + 8; i++) EXPECT_EQ(buffer[i].move.move, 0xA5A5A5A5u);
  // The first moves are those of the unbounded order.
  EXPECT_EQ(describe(buffer[0].move), "d1d4xk");
  // A quiet list on its own gets the full room.
  q = 0;
  node().generateMovesNC(buffer, &q);
  EXPECT_EQ(q, MAX_MOVES);
  unsigned n = 0;
  EXPECT_EQ(node().generateMoves(buffer, &n, 0), (int)MAX_MOVES);
  EXPECT_EQ(n, MAX_MOVES);
  EXPECT_EQ(node().nodeState, NODE_NORMAL);
  // The engine's own list of the position stays within its array.
  board->buildLegalMoves();
  EXPECT_EQ(board->legalMoveCount, MAX_MOVES);
}

TEST_F(MoveGen, GenerateMovesBuildsTheFullList) {
  set("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1");
  unsigned c = 0, q = 0, n = 0;
  ChessMoveSort other[PLY_LIST_SIZE];
  node().generateMovesC(other, &c);
  node().generateMovesNC(other + c, &q);
  EXPECT_EQ(node().generateMoves(list, &n, 0), 48);
  EXPECT_EQ(n, c + q);
  EXPECT_EQ(describe(list, n), describe(other, c + q));
  set("4k3/8/8/8/8/8/4q3/2NBK3 w - - 0 1");
  node().generateMoves(list, &n, 1);
  EXPECT_EQ(node().nodeState, NODE_CHECK);
  EXPECT_EQ(describe(list, n), evasions());
}
