// Move ordering and static exchange evaluation: the ordering keys of the
// inner search and of quiescence, the sort, and exchange values on x-ray,
// en-passant and king-defender cases.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/search.h"
#include "tests/support/test_board.h"

namespace {

void setPosition(TestBoard& board, const char* fen) {
  char text[128];
  snprintf(text, sizeof text, "%s", fen);
  ASSERT_EQ(board.setFENPosition(text), 1) << fen;
}

// Square of a coordinate such as "e4".
unsigned square(const char* s) { return static_cast<unsigned>((s[0] - 'a') + 8 * (s[1] - '1')); }

// The full move list of the game position, as the search builds it.
unsigned generate(TestBoard& board, ChessMoveSort* list) {
  ChessBoardNode& node = board.currentNode;
  if (node.inCheck()) return static_cast<unsigned>(node.generateKingEvasion(list));
  unsigned captures = 0, quiets = 0;
  node.generateMovesC(list, &captures);
  node.generateMovesNC(list + captures, &quiets);
  return captures + quiets;
}

// The generated move from-to ("e4d5"; a fifth letter picks the promotion).
ChessMove findMove(TestBoard& board, const char* text) {
  ChessMoveSort list[256];
  unsigned n = generate(board, list);
  unsigned promotion = 0;
  if (text[4]) promotion = static_cast<unsigned>(strchr("0pnbrqk", text[4]) - "0pnbrqk");
  for (unsigned i = 0; i < n; ++i) {
    ChessMove m = list[i].move;
    if (m.from() == square(text) && m.to() == square(text + 2) && m.promotion() == promotion) return m;
  }
  ADD_FAILURE() << "no move " << text;
  return 0;
}

int see(TestBoard& board, const char* fen, const char* move) {
  setPosition(board, fen);
  return board.staticExchangeEvaluation(findMove(board, move));
}

// Orders the full list of the position and returns the key of one move;
// checks on the way that the list came out highest key first.
int orderKey(TestBoard& board, const char* move, ChessMove hashMove = 0, int ply = 2) {
  ChessMoveSort list[256];
  unsigned n = generate(board, list);
  board.orderMoves(list, n, hashMove, ply);
  for (unsigned i = 1; i < n; ++i) EXPECT_GE(list[i - 1].score, list[i].score);
  ChessMove m = findMove(board, move);
  for (unsigned i = 0; i < n; ++i) {
    if (list[i].move == m) return list[i].score;
  }
  return -999999;
}

// The pairwise exchange sort, as defined: every later entry is swapped with
// each earlier entry of strictly lower key.
void referenceSort(ChessMoveSort* list, unsigned count) {
  for (unsigned j = 1; j < count; ++j) {
    for (unsigned i = 0; i < j; ++i) {
      if (list[j].score > list[i].score) {
        ChessMoveSort t = list[i];
        list[i] = list[j];
        list[j] = t;
      }
    }
  }
}

}  // namespace

TEST(ExchangeEvaluation, XRayBehindTheMover) {
  auto board = newTestBoard();
  // Re2xe5, Re8xe5, Re1xe5: the rook behind wins the pawn.
  EXPECT_EQ(see(*board, "4r1k1/8/8/4p3/8/8/4R3/4R1K1 w - - 0 1", "e2e5"), 100);
  // With the second rook off the file the first one is lost for a pawn.
  EXPECT_EQ(see(*board, "4r1k1/8/8/4p3/8/8/4R3/3R2K1 w - - 0 1", "e2e5"), -400);
  // Bc2xe4, Nf6xe4, Qb1xe4 along the diagonal.
  EXPECT_EQ(see(*board, "6k1/8/5n2/8/4p3/8/2B5/1Q4K1 w - - 0 1", "c2e4"), 100);
  EXPECT_EQ(see(*board, "6k1/8/5n2/8/4p3/8/2B5/Q5K1 w - - 0 1", "c2e4"), -225);
}

TEST(ExchangeEvaluation, EnPassantTakesThePawnOffTheBoard) {
  auto board = newTestBoard();
  // exd6 e.p. wins the pawn; Qd8xd6 would be answered by Rd1xd6, whose file
  // the taken pawn on d5 no longer blocks.
  EXPECT_EQ(see(*board, "3qk3/8/8/3pP3/8/8/8/3RK3 w - d6 0 1", "e5d6"), 100);
  // Without the rook the queen recaptures safely.
  EXPECT_EQ(see(*board, "3qk3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", "e5d6"), 0);
}

TEST(ExchangeEvaluation, KingAsDefender) {
  auto board = newTestBoard();
  // The king may take back the pawn when nothing else covers d5.
  EXPECT_EQ(see(*board, "8/8/2k5/3p4/4P3/8/8/4K3 w - - 0 1", "e4d5"), 0);
  // With the knight on f4 covering d5 the king cannot recapture.
  EXPECT_EQ(see(*board, "8/8/2k5/3p4/4PN2/8/8/4K3 w - - 0 1", "e4d5"), 100);
}

// Every line and knight square around e4 filled with queens and knights of
// both colours, far more attackers than a game can bring: the exchange
// stays within its gains list and between its bounds (the queen's first
// capture of a knight, at worst answered once).
TEST(ExchangeEvaluation, CrowdedSquareStaysInBounds) {
  auto board = newTestBoard();
  const char* rays[] = {"e5", "e6", "e7", "e8", "e2", "e1", "f4", "g4", "h4", "d4",
                        "c4", "b4", "a4", "f5", "g6", "h7", "d5", "c6", "b7", "a8",
                        "f3", "g2", "h1", "d3", "c2", "b1"};
  const char* jumps[] = {"d6", "f6", "c5", "g5", "c3", "g3", "d2", "f2"};
  u8 placement[64] = {0};
  int colour = BLACK;
  for (const char* s : rays) {
    placement[square(s)] = static_cast<u8>(colour * 7 + QUEEN);
    colour ^= 1;
  }
  for (const char* s : jumps) {
    placement[square(s)] = static_cast<u8>(colour * 7 + KNIGHT);
    colour ^= 1;
  }
  placement[square("e4")] = BLACK * 7 + KNIGHT;
  placement[square("e3")] = WHITE * 7 + QUEEN;
  placement[square("a1")] = WHITE * 7 + KING;
  placement[square("h8")] = BLACK * 7 + KING;
  board->placePieces(placement);
  int value = board->staticExchangeEvaluation(ChessMove::make(square("e3"), square("e4"), QUEEN, KNIGHT));
  EXPECT_LE(value, 325);
  EXPECT_GE(value, 325 - 975);
}

TEST(MoveOrdering, CaptureKeys) {
  auto board = newTestBoard();
  // PxN wins by value alone: 50000 + 225.
  setPosition(*board, "4k3/8/8/3n4/4P3/8/8/4K3 w - - 0 1");
  EXPECT_EQ(orderKey(*board, "e4d5"), 50225);
  // NxB of equal value, undefended: 50000 + 325.
  setPosition(*board, "4k3/8/8/3b4/8/4N3/8/4K3 w - - 0 1");
  EXPECT_EQ(orderKey(*board, "e3d5"), 50325);
  // QxP and RxP defended by a pawn lose: 1000 + (100 - 975), 1000 + (100 - 500).
  setPosition(*board, "4k3/8/2p5/3p4/8/8/8/3QK3 w - - 0 1");
  EXPECT_EQ(orderKey(*board, "d1d5"), 125);
  setPosition(*board, "4k3/8/2p5/3p4/8/8/8/3RK3 w - - 0 1");
  EXPECT_EQ(orderKey(*board, "d1d5"), 600);
  // A losing capture comes after every quiet move.
  EXPECT_LT(orderKey(*board, "d1d5"), orderKey(*board, "e1e2"));
}

TEST(MoveOrdering, HashMoveKillersAndHistory) {
  auto board = newTestBoard();
  setPosition(*board, "4k3/8/2p5/3p4/8/8/8/3QK2N w - - 0 1");
  ChessMove capture = findMove(*board, "d1d5");
  // The table move and the mate killer come first, captures or not.
  EXPECT_EQ(orderKey(*board, "d1d5", capture), 100000);
  board->mateKiller[2] = capture;
  EXPECT_EQ(orderKey(*board, "d1d5"), 90000);
  board->mateKiller[2] = 0;
  // Killers of the ply and of the ply two above.
  board->killer1[2] = findMove(*board, "h1g3");
  board->killer2[2] = findMove(*board, "h1f2");
  board->killer1[0] = findMove(*board, "d1d2");
  board->killer2[0] = findMove(*board, "d1d3");
  EXPECT_EQ(orderKey(*board, "h1g3"), 46000);
  EXPECT_EQ(orderKey(*board, "h1f2"), 45000);
  EXPECT_EQ(orderKey(*board, "d1d2"), 36000);
  EXPECT_EQ(orderKey(*board, "d1d3"), 35000);
  // At ply 1 the killers of ply - 2 are not consulted.
  board->killer1[1] = board->killer2[1] = 0;
  EXPECT_EQ(orderKey(*board, "d1d2", 0, 1), 1001);
  // Other quiet moves by history, without a cap: a counter above 34000
  // passes the killers of two plies up.
  board->historyTable[WHITE][square("e1")][square("e2")] = 5;
  EXPECT_EQ(orderKey(*board, "e1e2"), 1006);
  board->historyTable[WHITE][square("e1")][square("e2")] = 34000;
  EXPECT_EQ(orderKey(*board, "e1e2"), 35001);
}

TEST(MoveOrdering, QuiescenceSkipsLosingCapturesAndUnderPromotions) {
  auto board = newTestBoard();
  setPosition(*board, "4k3/1P6/2p5/3p4/8/8/8/3QK3 w - - 0 1");
  ChessMoveSort list[256];
  unsigned n = 0;
  board->currentNode.generateMovesC(list, &n);
  board->orderMoves_quiescent(list, n, EmptyMove, 3);
  ASSERT_EQ(n, 5u);   // b8=Q, b8=R, b8=N, b8=B, Qxd5
  // The queen promotion is unopposed: 50000 + 975 - 100; the rest is -1.
  EXPECT_EQ(list[0].move.promotion(), static_cast<unsigned>(QUEEN));
  EXPECT_EQ(list[0].score, 50875);
  for (unsigned i = 1; i < n; ++i) EXPECT_EQ(list[i].score, KEY_SKIP);
}

TEST(MoveOrdering, SortMatchesThePairwiseExchangeSort) {
  srand(12345);
  TestBoard board;
  for (int trial = 0; trial < 2000; ++trial) {
    ChessMoveSort a[257], b[257];
    unsigned count = static_cast<unsigned>(rand() % 257);
    int spread = 1 + rand() % 12;   // few distinct keys: many ties
    for (unsigned i = 0; i < count; ++i) {
      a[i].move = ChessMove(i + 1);
      a[i].score = rand() % spread - spread / 2;
    }
    memcpy(b, a, sizeof a);
    unsigned start = count > 3 ? 2 : 0;
    board.sortMoves(a, start, count - start);
    referenceSort(b + start, count - start);
    for (unsigned i = 0; i < count; ++i) {
      ASSERT_EQ(a[i].move, b[i].move) << "trial " << trial << " entry " << i;
      ASSERT_EQ(a[i].score, b[i].score);
    }
  }
}
