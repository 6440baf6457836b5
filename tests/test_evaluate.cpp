// Static evaluation: colour symmetry over whole test suites, the start
// position, and hand-computed totals of small positions chosen so that only
// a few terms apply (passed pawns, pawn shield, outposts, trapped pieces,
// insufficient material, the lazy exit).
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "engine/evaluate.h"
#include "tests/support/test_board.h"
#include "tests/support/test_paths.h"

namespace {

const int FULL = 32000;

int evaluateFen(TestBoard& board, const std::string& fen) {
  EXPECT_EQ(setFen(board, fen), 1) << fen;
  return board.currentNode.evaluate(-FULL, FULL, 0);
}

// The suite files and their numbers of positions.
const std::pair<const char*, int> SUITES[] = {
    {"perftsuite.epd", 127}, {"wac.epd", 200}, {"openings-6mov.epd", 4025}};

// Every position of the suites (their first four fields) and a few with
// trapped pieces in every corner.
std::vector<std::string> suiteFens() {
  std::vector<std::string> fens = {"4k3/Np6/p7/8/8/8/8/4K3 w - -",
                                   "4k3/6pN/7p/8/8/8/8/4K3 b - -",
                                   "4k3/B1p5/1p6/8/8/8/8/4K3 w - -",
                                   "4k3/5p1B/6p1/8/8/8/8/4K3 w - -",
                                   "5rk1/5ppp/8/8/8/8/5PPP/5RK1 w - -",
                                   "r3k2r/pppq1ppp/2n5/3pp3/3PP3/2N5/PPPQ1PPP/R3K2R w KQkq -"};
  for (const auto& suite : SUITES) {
    std::ifstream in(testsupport::dataPath(suite.first));
    int positions = 0;
    for (std::string line; std::getline(in, line); positions += !line.empty()) {
      std::istringstream fields(line);
      std::string field, fen;
      for (int i = 0; i < 4 && fields >> field; ++i) fen += (i ? " " : "") + field;
      if (!fen.empty()) fens.push_back(fen);
    }
    EXPECT_EQ(positions, suite.second) << suite.first;
  }
  for (std::string& fen : fens) fen += " 0 1";
  return fens;
}

}  // namespace

TEST(Evaluate, StartPositionIsZeroForEitherSide) {
  auto board = newTestBoard();
  EXPECT_EQ(board->currentNode.evaluate(-FULL, FULL, 0), 0);
  EXPECT_EQ(evaluateFen(*board, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 0 1"), 0);
}

// Every suite position evaluates as its colour mirror, exactly and with a
// narrow window that lets the lazy exit fire.
TEST(Evaluate, ColourSymmetricOverTheSuites) {
  for (const auto& suite : SUITES) QUARVEL_REQUIRE_DATA(suite.first);
  auto board = newTestBoard();
  for (std::string text : suiteFens()) {
    std::vector<char> mirror(text.size() + 1);
    ASSERT_EQ(setFen(*board, text), 1) << text;
    const int exact = board->currentNode.evaluate(-FULL, FULL, 0);
    const int lazy = board->currentNode.evaluate(-50, 50, 1);
    board->reverseFENPosition(&text[0], mirror.data());
    ASSERT_EQ(board->setFENPosition(mirror.data()), 1) << mirror.data();
    EXPECT_EQ(board->currentNode.evaluate(-FULL, FULL, 0), exact) << text;
    EXPECT_EQ(board->currentNode.evaluate(-50, 50, 1), lazy) << text;
  }
}

// The positional terms of a position evaluated before come from the
// evaluation table: over thousands of positions, whose entries share slots
// and replace each other, a second pass in the other order gives every
// value of the first; and the same placement with the other side to move
// (another key) is the same value negated, outside the draw rule.
TEST(Evaluate, TableGivesTheComputedValues) {
  for (const auto& suite : SUITES) QUARVEL_REQUIRE_DATA(suite.first);
  const std::vector<std::string> fens = suiteFens();
  auto board = newTestBoard();
  std::vector<int> first;
  for (const std::string& fen : fens) first.push_back(evaluateFen(*board, fen));
  for (size_t i = fens.size(); i-- > 0;) {
    EXPECT_EQ(evaluateFen(*board, fens[i]), first[i]) << fens[i];
    if (board->currentNode.gamePhase > 1) continue;
    std::string other = fens[i];
    const size_t side = other.find(' ') + 1;
    other[side] = other[side] == 'w' ? 'b' : 'w';
    other.replace(other.find(' ', side + 1) + 1, std::string::npos, "- - 0 1");
    if (setFen(*board, other) == 1) {
      EXPECT_EQ(board->currentNode.evaluate(-FULL, FULL, 0), -first[i]) << other;
    }
  }
}

TEST(Evaluate, SingleTerms) {
  const struct {
    const char* fen;
    int value, phase;
    const char* why;
  } cases[] = {
      // King and pawn against king (phase 3): material 100, Black's missing
      // pawns +50; the pawn isolated (-20) and passed: EVAL_PASSED_PAWN of its
      // rank plus twice its distance to the black king less that to its own.
      {"4k3/8/8/P7/8/8/8/4K3 w - - 0 1", 150 - 20 + 100 + 2 * 4 - 4, 3, "a5"},
      {"4k3/P7/8/8/8/8/8/4K3 w - - 0 1", 150 - 20 + 200 + 2 * 4 - 6, 3, "a7"},
      {"4k3/8/8/PP6/8/8/8/4K3 w - - 0 1", 250 + (100 + 50 + 8 - 4) + (100 + 50 + 6 - 4), 3,
       "a5 b5 passed and connected: half the value again"},
      // Blocked by a knight (phase 2): the pawn's value halved; the knight
      // brings material, square and mobility.
      {"4k3/8/n7/P7/8/8/8/4K3 w - - 0 1", -167 + 34 - 12, 2, "blocked passed pawn"},
      // Knight on e5 defended by d4, out of reach of enemy pawns: base 333;
      // d4 isolated and passed 25; a7 -4; knight mobility 24, tropism 20,
      // outpost 32; f7 next to the black king attacked (-10 for Black).
      {"6k1/p7/8/4N3/3P4/8/8/6K1 w - - 0 1", 448, 2, "outpost"},
      {"6k1/p7/8/4N3/8/8/8/6K1 b - - 0 1", -(183 + 44 + 4 + 10), 2, "no supporting pawn"},
      // Knight caught on a7 by b7 and a6 (Black to move, so the lone minor
      // is not judged a draw): base 59, trapped -100, mobility 3 + 2 * 1;
      // Black's a6 37 and b7 6.
      {"7k/Np6/p7/8/8/8/8/7K b - - 0 1", 79, 2, "trapped knight"},
      {"7k/N7/pp6/8/8/8/8/7K b - - 0 1", -(59 + 7 - (37 + 36)), 2, "knight free with b6"},
      // A lone king, king and bishop, king and one or two knights to move
      // score the draw value (phases 2 and 3); knight and bishop do not,
      // and phase 1 is not judged.
      {"4k3/8/8/8/8/8/Q7/2B1K3 b - - 0 1", 0, 2, "lone king"},
      {"4k3/pppp4/8/8/8/8/8/2B1K3 w - - 0 1", 0, 2, "king and bishop"},
      {"4k3/pppp4/8/8/8/8/8/1N2KN2 w - - 0 1", 0, 2, "king and two knights"},
  };
  auto board = newTestBoard();
  for (const auto& c : cases) {
    EXPECT_EQ(evaluateFen(*board, c.fen), c.value) << c.why;
    EXPECT_EQ(board->currentNode.gamePhase, c.phase) << c.why;
  }
  EXPECT_EQ(board->currentNode.evaluateDraw(WHITE), 1);
  EXPECT_EQ(board->currentNode.evaluateDraw(BLACK), 0);
  EXPECT_NE(evaluateFen(*board, "4k3/8/8/8/8/8/8/1N2KB2 w - - 0 1"), 0);
  EXPECT_NE(evaluateFen(*board, "4k3/8/8/8/8/8/QQ6/R3K3 b - - 0 1"), 0);

  // Pawn shield in phase 1, both sides castled short behind f, g and h
  // pawns, heavy pieces boxed in so that no other term changes.
  const int intact = evaluateFen(*board, "rq4k1/ppp2ppp/8/8/8/8/PPP1PPPP/RQ4K1 w - - 0 1");
  EXPECT_EQ(board->currentNode.gamePhase, 1);
  // g2-g3: shield 20, pawn square -1, and h2 is left backward (-10).
  EXPECT_EQ(evaluateFen(*board, "rq4k1/ppp2ppp/8/8/8/6P1/PPP1PP1P/RQ4K1 w - - 0 1"), intact - 31);
  // No g-pawn: shield 50, material 100, and h2 is isolated (-20).
  EXPECT_EQ(evaluateFen(*board, "rq4k1/ppp2ppp/8/8/8/8/PPP1PP1P/RQ4K1 w - - 0 1"), intact - 170);
}

// A rook on a file without pawns, with enemy pawns only, and with an own
// pawn. The white rook on a1 is boxed in by its knights, so that its
// mobility stays 0 whatever the a-file holds; a pawn moves between the a-
// and h-files on the seventh rank, where its square value, structure (passed
// and isolated) and king distances are the same on either file (kings on e1
// and e3). Only the rook's file term differs.
TEST(Evaluate, RookFiles) {
  auto board = newTestBoard();
  const int halfOpen = evaluateFen(*board, "8/p7/8/8/8/4k3/N7/RN2K3 w - - 0 1");
  const int open = evaluateFen(*board, "8/7p/8/8/8/4k3/N7/RN2K3 w - - 0 1");
  EXPECT_EQ(open - halfOpen, EVAL_ROOK_OPEN_FILE - EVAL_ROOK_SEMI_OPEN_FILE);
  // With a white pawn on the other file: the a-file closed by it, or half
  // open to the black pawn.
  const int closed = evaluateFen(*board, "8/P6p/8/8/8/4k3/N7/RN2K3 w - - 0 1");
  const int enemyOnly = evaluateFen(*board, "8/p6P/8/8/8/4k3/N7/RN2K3 w - - 0 1");
  EXPECT_EQ(enemyOnly - closed, EVAL_ROOK_SEMI_OPEN_FILE);
  // The same seen from Black, with colours mirrored.
  EXPECT_EQ(evaluateFen(*board, "rn2k3/n7/4K3/8/8/8/7P/8 b - - 0 1"), open);
  EXPECT_EQ(evaluateFen(*board, "rn2k3/n7/4K3/8/8/8/P7/8 b - - 0 1"), halfOpen);
}

// King and pawn against king: base 150, full value 234; the exit bound is
// 299.
TEST(Evaluate, LazyExitBounds) {
  auto board = boardAt("4k3/8/8/P7/8/8/8/4K3 w - - 0 1");
  ChessBoardNode& node = board->currentNode;
  EXPECT_EQ(node.evaluate(-FULL, -150, 1), 150);  // 150 - 299 > -150
  EXPECT_EQ(node.evaluate(-FULL, -149, 1), 234);  // 150 - 299 = -149: no exit
  EXPECT_EQ(node.evaluate(450, FULL, 1), 150);    // 150 + 299 < 450
  EXPECT_EQ(node.evaluate(449, FULL, 1), 234);
  EXPECT_EQ(node.evaluate(-FULL, -150, 0), 234);  // exact: the window is ignored
  EXPECT_EQ(node.evaluate(-FULL, -150, 2), 234);  // only 1 allows the exit
}
