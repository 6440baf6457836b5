// Static evaluation: colour symmetry over whole test suites, the start
// position, and hand-computed totals of small positions chosen so that only
// a few terms apply (passed pawns, pawn shield, outposts, trapped pieces,
// insufficient material, the lazy exit).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "engine/evaluate.h"
#include "tests/support/test_board.h"
#include "tests/support/test_paths.h"

namespace {

const int FULL = 32000;

// Sets a position from a FEN string; fails the test when it is refused.
void setPosition(TestBoard& board, const std::string& fen) {
  char text[256];
  snprintf(text, sizeof text, "%s", fen.c_str());
  ASSERT_EQ(board.setFENPosition(text), 1) << fen;
}

int evaluateFen(TestBoard& board, const std::string& fen) {
  setPosition(board, fen);
  return board.currentNode.evaluate(-FULL, FULL, 0);
}

// The first four fields of an EPD or perft-suite line, as a full FEN.
std::string fenOfLine(const std::string& line) {
  std::istringstream in(line);
  std::string field, fen;
  for (int i = 0; i < 4 && in >> field; ++i) fen += (i ? " " : "") + field;
  return fen + " 0 1";
}

// Evaluates every position of a suite and its colour mirror, exactly and
// with a narrow window that lets the lazy exit fire; returns the count.
int checkSymmetry(TestBoard& board, const std::string& file) {
  std::ifstream in(testsupport::dataPath(file));
  std::string line;
  int positions = 0;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    std::string fen = fenOfLine(line);
    char text[256], mirror[256];
    snprintf(text, sizeof text, "%s", fen.c_str());
    EXPECT_EQ(board.setFENPosition(text), 1) << fen;
    int exact = board.currentNode.evaluate(-FULL, FULL, 0);
    int lazy = board.currentNode.evaluate(-50, 50, 1);
    board.reverseFENPosition(text, mirror);
    EXPECT_EQ(board.setFENPosition(mirror), 1) << mirror;
    EXPECT_EQ(board.currentNode.evaluate(-FULL, FULL, 0), exact) << fen << " / " << mirror;
    EXPECT_EQ(board.currentNode.evaluate(-50, 50, 1), lazy) << fen << " / " << mirror;
    ++positions;
  }
  return positions;
}

}  // namespace

TEST(Evaluate, StartPositionIsZeroForEitherSide) {
  auto board = newTestBoard();
  EXPECT_EQ(board->currentNode.evaluate(-FULL, FULL, 0), 0);
  EXPECT_EQ(evaluateFen(*board, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 0 1"), 0);
}

TEST(Evaluate, ColourSymmetricOverPerftSuite) {
  QUARVEL_REQUIRE_DATA("perftsuite.epd");
  auto board = newTestBoard();
  EXPECT_EQ(checkSymmetry(*board, "perftsuite.epd"), 127);
}

TEST(Evaluate, ColourSymmetricOverWinAtChess) {
  QUARVEL_REQUIRE_DATA("wac.epd");
  auto board = newTestBoard();
  EXPECT_EQ(checkSymmetry(*board, "wac.epd"), 200);
}

TEST(Evaluate, ColourSymmetricOverOpenings) {
  QUARVEL_REQUIRE_DATA("openings-6mov.epd");
  auto board = newTestBoard();
  EXPECT_EQ(checkSymmetry(*board, "openings-6mov.epd"), 4025);
}

TEST(Evaluate, ColourSymmetricWithTrappedPiecesInEveryCorner) {
  auto board = newTestBoard();
  const char* fens[] = {
      "4k3/Np6/p7/8/8/8/8/4K3 w - - 0 1",        // knight a7, pawns b7 a6
      "4k3/6pN/7p/8/8/8/8/4K3 b - - 0 1",        // knight h7, pawns g7 h6
      "4k3/B1p5/1p6/8/8/8/8/4K3 w - - 0 1",      // bishop a7, pawns b6 c7
      "4k3/5p1B/6p1/8/8/8/8/4K3 w - - 0 1",      // bishop h7, pawns g6 f7
      "r3k2r/pppq1ppp/2n5/3pp3/3PP3/2N5/PPPQ1PPP/R3K2R w KQkq - 0 1",
      "5rk1/5ppp/8/8/8/8/5PPP/5RK1 w - - 0 1",   // rooks shut in by kings
  };
  for (const char* fen : fens) {
    char text[128], mirror[128];
    snprintf(text, sizeof text, "%s", fen);
    ASSERT_EQ(board->setFENPosition(text), 1) << fen;
    int value = board->currentNode.evaluate(-FULL, FULL, 0);
    board->reverseFENPosition(text, mirror);
    ASSERT_EQ(board->setFENPosition(mirror), 1) << mirror;
    EXPECT_EQ(board->currentNode.evaluate(-FULL, FULL, 0), value) << fen;
  }
}

// King and pawn against king (phase 3): material 100, Black's missing pawns
// +50, kings on equal squares; the pawn is isolated (-20) and passed, worth
// EVAL_PASSED_PAWN of its rank plus twice its distance to the black king
// less its distance to its own.
TEST(Evaluate, PassedPawnByRank) {
  auto board = newTestBoard();
  // a5: 150 - 20 + 100 + 2 * 4 - 4.
  EXPECT_EQ(evaluateFen(*board, "4k3/8/8/P7/8/8/8/4K3 w - - 0 1"), 234);
  EXPECT_EQ(board->currentNode.gamePhase, 3);
  // a7: 150 - 20 + 200 + 2 * 4 - 6.
  EXPECT_EQ(evaluateFen(*board, "4k3/P7/8/8/8/8/8/4K3 w - - 0 1"), 332);
  // a5 and b5, each passed and connected (half the value again):
  // 250 + (100 + 50 + 8 - 4) + (100 + 50 + 6 - 4).
  EXPECT_EQ(evaluateFen(*board, "4k3/8/8/PP6/8/8/8/4K3 w - - 0 1"), 556);
}

// The same pawn blocked by a black knight (phase 2): the pawn's value is
// halved; the knight brings its material, square and mobility.
TEST(Evaluate, BlockedPassedPawnIsHalved) {
  auto board = newTestBoard();
  // Base (100 - 30) - (325 - 50 - 38) = -167; pawn -20 + 100 - 50 + 4 = 34;
  // knight mobility 4 + 2 * 4 = 12 for Black.
  EXPECT_EQ(evaluateFen(*board, "4k3/8/n7/P7/8/8/8/4K3 w - - 0 1"), -145);
  EXPECT_EQ(board->currentNode.gamePhase, 2);
}

// Pawn shield in phase 1 (two queens and two rooks on the board), both
// sides castled short behind f, g and h pawns, heavy pieces boxed in on the
// queen side so that no other term changes.
TEST(Evaluate, PawnShield) {
  auto board = newTestBoard();
  const int intact = evaluateFen(*board, "rq4k1/ppp2ppp/8/8/8/8/PPP1PPPP/RQ4K1 w - - 0 1");
  EXPECT_EQ(board->currentNode.gamePhase, 1);
  // g2-g3: shield 20, pawn square -1, and h2 is left backward (-10).
  EXPECT_EQ(evaluateFen(*board, "rq4k1/ppp2ppp/8/8/8/6P1/PPP1PP1P/RQ4K1 w - - 0 1"),
            intact - 20 - 1 - 10);
  // No g-pawn: shield 50, the pawn's material 100, and h2 is isolated (-20).
  EXPECT_EQ(evaluateFen(*board, "rq4k1/ppp2ppp/8/8/8/8/PPP1PP1P/RQ4K1 w - - 0 1"),
            intact - 50 - 100 - 20);
}

// A knight on e5 defended by the d4 pawn and out of reach of enemy pawns
// (phase 2): base 333; d4 isolated and passed 25; a7 isolated and passed -4;
// knight mobility 24, tropism 20, outpost 32; f7 next to the black king is
// attacked (-10 for Black).
TEST(Evaluate, KnightOutpost) {
  auto board = newTestBoard();
  EXPECT_EQ(evaluateFen(*board, "6k1/p7/8/4N3/3P4/8/8/6K1 w - - 0 1"), 448);
  // Without the supporting pawn there is no outpost. Black is to move, as
  // a lone knight to move would be judged a draw: base 333 - 100 - 50 (no
  // pawns); knight 24 + 20; a7 -4; f7 attacked.
  EXPECT_EQ(evaluateFen(*board, "6k1/p7/8/4N3/8/8/8/6K1 b - - 0 1"), -(183 + 44 + 4 + 10));
}

// A white knight caught on a7 by the pawns b7 and a6 (phase 2, Black to
// move, so the knight side's lone minor piece is not judged a draw).
TEST(Evaluate, TrappedKnight) {
  auto board = newTestBoard();
  // White: base 59, trapped -100, knight mobility 3 + 2 * 1; Black's pawns
  // 37 (a6 passed, connected) + 6 (b7 backward, passed). White total -79.
  EXPECT_EQ(evaluateFen(*board, "7k/Np6/p7/8/8/8/8/7K b - - 0 1"), 79);
  // With b6 instead of b7 the knight is free: a6 stays 37, b6 is passed and
  // connected (20 + 2 * 6 - 6 + 10), and of the knight's squares b5 c6 c8
  // only b5 is attacked by a pawn: 3 + 2 * 2.
  EXPECT_EQ(evaluateFen(*board, "7k/N7/pp6/8/8/8/8/7K b - - 0 1"), -(59 + 7 - (37 + 36)));
}

TEST(Evaluate, InsufficientMaterialOfTheSideToMove) {
  auto board = newTestBoard();
  // Phases 2 and 3: a lone king, king and bishop, king and one or two
  // knights to move score the draw value whatever the opponent has.
  EXPECT_EQ(evaluateFen(*board, "4k3/8/8/8/8/8/Q7/2B1K3 b - - 0 1"), 0);
  EXPECT_EQ(evaluateFen(*board, "4k3/pppp4/8/8/8/8/8/2B1K3 w - - 0 1"), 0);
  EXPECT_EQ(evaluateFen(*board, "4k3/pppp4/8/8/8/8/8/1N2KN2 w - - 0 1"), 0);
  EXPECT_EQ(board->currentNode.evaluateDraw(WHITE), 1);
  EXPECT_EQ(board->currentNode.evaluateDraw(BLACK), 0);
  // Knight and bishop can win: evaluated normally.
  EXPECT_NE(evaluateFen(*board, "4k3/8/8/8/8/8/8/1N2KB2 w - - 0 1"), 0);
  EXPECT_EQ(board->currentNode.evaluateDraw(WHITE), 0);
  // Phase 1: not judged at all.
  EXPECT_NE(evaluateFen(*board, "4k3/8/8/8/8/8/QQ6/R3K3 b - - 0 1"), 0);
  EXPECT_EQ(board->currentNode.gamePhase, 1);
}

// King and pawn against king: base 150, full value 234.
TEST(Evaluate, LazyExitBounds) {
  auto board = newTestBoard();
  setPosition(*board, "4k3/8/8/P7/8/8/8/4K3 w - - 0 1");
  ChessBoardNode& node = board->currentNode;
  EXPECT_EQ(node.evaluate(-FULL, -150, 1), 150);   // 150 - 299 > -150
  EXPECT_EQ(node.evaluate(-FULL, -149, 1), 234);   // 150 - 299 = -149: no exit
  EXPECT_EQ(node.evaluate(450, FULL, 1), 150);     // 150 + 299 < 450
  EXPECT_EQ(node.evaluate(449, FULL, 1), 234);
  EXPECT_EQ(node.evaluate(-FULL, -150, 0), 234);   // exact: the window is ignored
  EXPECT_EQ(node.evaluate(-FULL, -150, 2), 234);   // only 1 allows the exit
}
