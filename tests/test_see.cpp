// Move ordering and static exchange evaluation: exchange values on x-ray,
// en-passant and king-defender cases, the early answer for losses, the
// ordering keys of the inner search and of quiescence, and the sort.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "engine/search.h"
#include "tests/support/test_board.h"
#include "tests/support/test_paths.h"

namespace {

// Orders the full list of the position and returns the key of one move;
// checks on the way that the list came out highest key first.
int orderKey(TestBoard& board, const char* move, ChessMove hashMove = 0, int ply = 2) {
  ChessMoveSort list[PLY_LIST_SIZE];
  const unsigned n = fullList(board.currentNode, list);
  board.orderMoves(list, n, hashMove, ply);
  for (unsigned i = 1; i < n; ++i) EXPECT_GE(list[i - 1].score, list[i].score);
  for (unsigned i = 0; i < n; ++i)
    if (coord(list[i].move) == move) return list[i].score;
  ADD_FAILURE() << "no move " << move;
  return 0;
}

// The definition of the sort of list[start .. end - 1]: every later entry is
// swapped with each earlier entry of strictly lower key.
void pairwiseExchangeSort(ChessMoveSort* list, unsigned start, unsigned end) {
  for (unsigned j = start + 1; j < end; ++j)
    for (unsigned i = start; i < j; ++i)
      if (list[j].score > list[i].score) std::swap(list[i], list[j]);
}

// Calls visit(captures, count) with the captures of every position of the
// perft suite and of WAC (their first four fields) and of every position one
// legal capture further that is not in check; returns the number of suite
// positions read.
template <class Visit>
int forSuitePositions(TestBoard& board, Visit visit) {
  ChessBoardNode& node = board.currentNode;
  int positions = 0;
  auto captures = [&]() {
    ChessMoveSort list[PLY_LIST_SIZE];
    unsigned n = 0;
    node.generateMovesC(list, &n);
    visit(list, n);
  };
  for (const char* suite : {"perftsuite.epd", "wac.epd"}) {
    std::ifstream in(testsupport::dataPath(suite));
    for (std::string line; std::getline(in, line);) {
      std::istringstream fields(line);
      std::string field, fen;
      for (int i = 0; i < 4 && fields >> field; ++i) fen += field + " ";
      if (fen.empty() || setFen(board, fen + "0 1") != 1) continue;
      ++positions;
      captures();
      ChessMoveSort list[PLY_LIST_SIZE];
      unsigned n = 0;
      node.generateMovesC(list, &n);
      for (unsigned i = 0; i < n; ++i) {
        if (node.makeMove(list[i].move) && !node.inCheck()) captures();
        node.unMakeMove(list[i].move);
      }
    }
  }
  return positions;
}

}  // namespace

TEST(ExchangeEvaluation, XRayEnPassantAndKingDefender) {
  const struct {
    const char* fen;
    const char* move;
    int value;
  } cases[] = {
      // Re2xe5, Re8xe5, Re1xe5: the rook behind wins the pawn; with the
      // second rook off the file the first one is lost for a pawn.
      {"4r1k1/8/8/4p3/8/8/4R3/4R1K1 w - - 0 1", "e2e5", 100},
      {"4r1k1/8/8/4p3/8/8/4R3/3R2K1 w - - 0 1", "e2e5", -400},
      // Bc2xe4, Nf6xe4, Qb1xe4 along the diagonal.
      {"6k1/8/5n2/8/4p3/8/2B5/1Q4K1 w - - 0 1", "c2e4", 100},
      {"6k1/8/5n2/8/4p3/8/2B5/Q5K1 w - - 0 1", "c2e4", -225},
      // exd6 e.p.: Qd8xd6 is answered by Rd1xd6, whose file the taken pawn
      // on d5 no longer blocks; without the rook the queen retakes safely.
      {"3qk3/8/8/3pP3/8/8/8/3RK3 w - d6 0 1", "e5d6", 100},
      {"3qk3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", "e5d6", 0},
      // The attackers are those of the board as it stands: an enemy rook
      // behind the pawn taken en passant is not counted (nothing captures
      // along its file), one behind the mover's own line is.
      {"4k3/8/8/3pP3/8/8/7K/3r4 w - d6 0 1", "e5d6", 100},
      {"4k3/8/8/4p3/4R3/8/K7/4r3 w - - 0 1", "e4e5", -400},
      // The king retakes when nothing else covers d5, not against the f4
      // knight.
      {"8/8/2k5/3p4/4P3/8/8/4K3 w - - 0 1", "e4d5", 0},
      {"8/8/2k5/3p4/4PN2/8/8/4K3 w - - 0 1", "e4d5", 100},
  };
  for (const auto& c : cases) {
    auto board = boardAt(c.fen);
    EXPECT_EQ(board->staticExchangeEvaluation(findMove(board->currentNode, c.move)), c.value)
        << c.fen;
  }
}

// Every line and knight square around e4 filled with queens and knights of
// both colours, far more attackers than a game can bring: the exchange
// stays within its gains list and between its bounds (the queen's first
// capture of a knight, at worst answered once).
TEST(ExchangeEvaluation, CrowdedSquareStaysInBounds) {
  const char* squares[] = {"e5", "e6", "e7", "e8", "e2", "e1", "f4", "g4", "h4", "d4", "c4", "b4",
                           "a4", "f5", "g6", "h7", "d5", "c6", "b7", "a8", "f3", "g2", "h1", "d3",
                           "c2", "b1", "d6", "f6", "c5", "g5", "c3", "g3", "d2", "f2"};
  u8 placement[64] = {0};
  for (unsigned i = 0; i < 34; i++)
    placement[sq(squares[i])] = (u8)((i & 1) * 7 + (i < 26 ? QUEEN : KNIGHT));
  placement[sq("e4")] = BLACK * 7 + KNIGHT;
  placement[sq("e3")] = WHITE * 7 + QUEEN;
  placement[sq("a1")] = WHITE * 7 + KING;
  placement[sq("h8")] = BLACK * 7 + KING;
  auto board = newTestBoard();
  board->placePieces(placement);
  const int value =
      board->staticExchangeEvaluation(ChessMove::make(sq("e3"), sq("e4"), QUEEN, KNIGHT));
  EXPECT_LE(value, 325);
  EXPECT_GE(value, 325 - 975);
}

// The positions of two suites and those one capture further: with anyLoss
// every capture and promotion keeps its exact value when that is zero or
// more, and stays below zero when it loses; some losses end early.
TEST(ExchangeEvaluation, AnyLossKeepsTheSignAndEveryGain) {
  QUARVEL_REQUIRE_DATA("perftsuite.epd");
  QUARVEL_REQUIRE_DATA("wac.epd");
  int early = 0;
  auto board = newTestBoard();
  const int positions = forSuitePositions(*board, [&](const ChessMoveSort* list, unsigned n) {
    for (unsigned i = 0; i < n; ++i) {
      const int exact = board->staticExchangeEvaluation(list[i].move);
      const int quick = board->staticExchangeEvaluation(list[i].move, true);
      if (exact >= 0)
        ASSERT_EQ(quick, exact) << coord(list[i].move);
      else
        ASSERT_LT(quick, 0) << coord(list[i].move);
      early += quick != exact;
    }
  });
  EXPECT_EQ(positions, 127 + 200);
  EXPECT_GT(early, 100);
}

TEST(MoveOrdering, CaptureKeys) {
  const struct {
    const char* fen;
    const char* move;
    int key;
  } cases[] = {
      {"4k3/8/8/3n4/4P3/8/8/4K3 w - - 0 1", "e4d5", 50000 + 225},        // wins by value
      {"4k3/8/8/3b4/8/4N3/8/4K3 w - - 0 1", "e3d5", 50000 + 325},        // even, undefended
      {"4k3/8/2p5/3p4/8/8/8/3QK3 w - - 0 1", "d1d5", 1000 + 100 - 975},  // loses to the pawn
      {"4k3/8/2p5/3p4/8/8/8/3RK3 w - - 0 1", "d1d5", 1000 + 100 - 500},
      {"4k3/8/2p5/3p4/8/8/8/3RK3 w - - 0 1", "e1e2", 1001},  // a quiet move goes first
  };
  for (const auto& c : cases) {
    auto board = boardAt(c.fen);
    EXPECT_EQ(orderKey(*board, c.move), c.key) << c.fen << " " << c.move;
  }
}

TEST(MoveOrdering, HashMoveKillersAndHistory) {
  auto board = boardAt("4k3/8/2p5/3p4/8/8/8/3QK2N w - - 0 1");
  ChessBoardNode& node = board->currentNode;
  // The table move and the mate killer come first, captures or not.
  EXPECT_EQ(orderKey(*board, "d1d5", findMove(node, "d1d5")), 100000);
  board->mateKiller[2] = findMove(node, "d1d5");
  EXPECT_EQ(orderKey(*board, "d1d5"), 90000);
  board->mateKiller[2] = 0;
  // Killers of the ply and of the ply two above; at ply 1 not those of
  // ply - 2.
  board->killer1[2] = findMove(node, "h1g3");
  board->killer2[2] = findMove(node, "h1f2");
  board->killer1[0] = findMove(node, "d1d2");
  board->killer2[0] = findMove(node, "d1d3");
  EXPECT_EQ(orderKey(*board, "h1g3"), 46000);
  EXPECT_EQ(orderKey(*board, "h1f2"), 45000);
  EXPECT_EQ(orderKey(*board, "d1d2"), 36000);
  EXPECT_EQ(orderKey(*board, "d1d3"), 35000);
  EXPECT_EQ(orderKey(*board, "d1d2", 0, 1), 1001);
  // Other quiet moves by history, without a cap: a counter above 34000
  // passes the killers of two plies up.
  board->historyTable[WHITE][sq("e1")][sq("e2")] = 5;
  EXPECT_EQ(orderKey(*board, "e1e2"), 1006);
  board->historyTable[WHITE][sq("e1")][sq("e2")] = 34000;
  EXPECT_EQ(orderKey(*board, "e1e2"), 35001);
}

TEST(MoveOrdering, MovesSharingAKillersTargetKeepTheirOwnKeys) {
  // Another piece onto a killer's target square, and a move onto the square
  // 32 further on (a1 and a5 share a bit of a 32-bit word).
  auto board = boardAt("4k3/8/8/8/R7/8/8/4K3 w - - 0 1");
  ChessBoardNode& node = board->currentNode;
  board->killer1[2] = findMove(node, "a4a1");
  board->killer2[2] = findMove(node, "e1d2");
  board->historyTable[WHITE][sq("a4")][sq("a5")] = 7;
  board->historyTable[WHITE][sq("a4")][sq("d4")] = 3;
  EXPECT_EQ(orderKey(*board, "a4a1"), 46000);
  EXPECT_EQ(orderKey(*board, "a4a5"), 1008);
  EXPECT_EQ(orderKey(*board, "e1d2"), 45000);
  EXPECT_EQ(orderKey(*board, "a4d4"), 1004);
  EXPECT_EQ(orderKey(*board, "e1d1"), 1001);
  // A capture that is a killer keeps its capture key.
  board = boardAt("4k3/8/8/p7/R7/8/8/4K3 w - - 0 1");
  board->killer1[2] = findMove(board->currentNode, "a4a5");
  EXPECT_EQ(orderKey(*board, "a4a5"), 50000 + 100);
}

TEST(MoveOrdering, QuiescenceSkipsLosingCapturesAndUnderPromotions) {
  auto board = boardAt("4k3/1P6/2p5/3p4/8/8/8/3QK3 w - - 0 1");
  ChessMoveSort list[PLY_LIST_SIZE];
  unsigned n = 0;
  board->currentNode.generateMovesC(list, &n);
  board->orderMoves_quiescent(list, n, EmptyMove, 3);
  ASSERT_EQ(n, 5u);  // b8=Q, b8=R, b8=N, b8=B, Qxd5
  // The queen promotion is unopposed: 50000 + 975 - 100; the rest is skipped.
  EXPECT_EQ(coord(list[0].move), "b7b8q");
  EXPECT_EQ(list[0].score, 50875);
  for (unsigned i = 1; i < n; ++i) EXPECT_EQ(list[i].score, KEY_SKIP);
}

// Quiescence keys in two steps, over the suites: the first move named by the
// scoring is the first of the full order, and the completed keys sorted are
// those of the definition (the exchange value, or skipped when it loses)
// under the pairwise exchange sort. Some captures wait for the second step.
TEST(MoveOrdering, QuiescenceKeysInTwoStepsGiveTheFullOrder) {
  QUARVEL_REQUIRE_DATA("perftsuite.epd");
  QUARVEL_REQUIRE_DATA("wac.epd");
  int waited = 0;
  auto board = newTestBoard();
  forSuitePositions(*board, [&](const ChessMoveSort* captures, unsigned n) {
    if (n == 0) return;
    ChessMoveSort a[PLY_LIST_SIZE], b[PLY_LIST_SIZE];
    memcpy(a, captures, n * sizeof *a);
    memcpy(b, captures, n * sizeof *b);
    const ChessMove first = a[board->scoreMoves_quiescent(a, n)].move;
    for (unsigned i = 0; i < n; ++i) waited += a[i].score == KEY_PENDING;
    board->sortMoves_quiescent(a, n);
    for (unsigned i = 0; i < n; ++i) {
      const ChessMove m = b[i].move;
      b[i].score = KEY_SKIP;
      if (m.captured() == 0 && m.promotion() != QUEEN) continue;
      const int d = PieceCaptureValue[m.captured()] - PieceCaptureValue[m.piece()];
      const int s = d >= 1 ? d : board->staticExchangeEvaluation(m);
      if (s >= 0) b[i].score = KEY_GOOD_CAPTURE + s;
    }
    pairwiseExchangeSort(b, 0, n);
    ASSERT_EQ(first, a[0].move);
    for (unsigned i = 0; i < n; ++i) {
      ASSERT_EQ(a[i].move, b[i].move) << i;
      ASSERT_EQ(a[i].score, b[i].score) << coord(a[i].move);
    }
  });
  EXPECT_GT(waited, 100);
}

TEST(MoveOrdering, SortMatchesThePairwiseExchangeSort) {
  srand(12345);
  TestBoard board;
  for (int trial = 0; trial < 2000; ++trial) {
    ChessMoveSort a[257], b[257];
    const unsigned count = (unsigned)(rand() % 257);
    const int spread = 1 + rand() % 12;  // few distinct keys: many ties
    for (unsigned i = 0; i < count; ++i) a[i] = {ChessMove(i + 1), rand() % spread - spread / 2};
    memcpy(b, a, sizeof a);
    const unsigned start = count > 3 ? 2 : 0;
    board.sortMoves(a, start, count - start);
    pairwiseExchangeSort(b, start, count);
    for (unsigned i = 0; i < count; ++i) ASSERT_EQ(a[i].move, b[i].move) << trial << " " << i;
  }
}
