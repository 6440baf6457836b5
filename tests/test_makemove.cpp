// Make and unmake: whole-tree walks over positions rich in castling, en
// passant and promotions (every make keeps the key and the sums equal to a
// fresh computation, every unmake restores every field), the rules a perft
// count cannot see, and the refusals that keep the stacks within bounds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/bitboard.h"
#include "engine/pst.h"
#include "tests/support/test_board.h"

namespace {

// The sums that make keeps incrementally, computed from the placement.
::testing::AssertionResult sumsAgreeWithPlacement(const ChessBoardNode& n) {
  i32 material[2] = {0, 0}, phase[2] = {0, 0}, mg[2] = {0, 0}, eg[2] = {0, 0};
  for (unsigned s = 0; s < 64; s++) {
    const unsigned t = n.pieceArray[s], c = (n.bbColorPiece[WHITE] >> s) & 1;
    if (!t) continue;
    material[c] += PieceCaptureValue[t];
    phase[c] += PieceGamePhaseValue[t];
    mg[c] += piece_square_table_middlegame[c][t][s];
    eg[c] += piece_square_table_endgame[c][t][s];
    if (t == KING && n.kingSquare[c] != s) return ::testing::AssertionFailure() << "kingSquare";
  }
  for (int c = 0; c < 2; c++)
    if (material[c] != n.material[c] || phase[c] != n.phaseSum[c] || mg[c] != n.pstMiddlegame[c] ||
        eg[c] != n.pstEndgame[c])
      return ::testing::AssertionFailure() << "material, phase or piece-square sum of " << c;
  if (n.gamePhase != gamePhaseOf(phase[0] + phase[1]) || n.opponent != (n.sideToMove ^ 1) ||
      n.bbAllPiece != (n.bbColorPiece[0] | n.bbColorPiece[1]) ||
      (n.bbColorPiece[0] & n.bbColorPiece[1]))
    return ::testing::AssertionFailure() << "phase, side or colour boards";
  return ::testing::AssertionSuccess();
}

// Makes every generated move of every position of the tree and checks each
// make and each unmake; counts the legal moves made.
void walk(ChessBoardNode& node, int depth, u64& legalMoves) {
  ChessMoveSort list[PLY_LIST_SIZE];
  unsigned n = 0;
  node.generateMoves(list, &n, node.inCheck());
  const NodeFields before(node);
  for (unsigned i = 0; i < n; i++) {
    const ChessMove m = list[i].move;
    const int legal = node.makeMove(m);
    ASSERT_EQ(node.hashKey, node.createHashKey()) << coord(m);
    ASSERT_EQ(node.hashHistory[node.hashHistoryCount - 1], before.hashKey);
    ASSERT_EQ(node.testBoard(), 0) << coord(m);
    ASSERT_TRUE(sumsAgreeWithPlacement(node)) << coord(m);
    // Legal exactly when the mover's king is not attacked afterwards.
    ASSERT_EQ(legal, !node.isAttacked(node.kingSquare[node.opponent], (int)node.sideToMove));
    if (legal) {
      legalMoves++;
      if (depth > 1) walk(node, depth - 1, legalMoves);
      if (::testing::Test::HasFatalFailure()) return;
    }
    ASSERT_EQ(node.unMakeMove(m), 1);
    node.nodeState = before.nodeState;  // belongs to the list builders
    ASSERT_EQ(differences(before, NodeFields(node)), "") << "after unmaking " << coord(m);
  }
}

}  // namespace

TEST(MakeMove, WalksRestoreEveryFieldAndKeepTheKey) {
  const struct {
    const char* fen;
    int depth;
    u64 legalMoves;  // perft sums of the published counts
  } cases[] = {
      {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 4, 20 + 400 + 8902 + 197281},
      {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", 3,
       48 + 2039 + 97862},
      {"8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", 4, 14 + 191 + 2812 + 43238},
      {"r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1", 3, 6 + 264 + 9467},
      {"rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8", 3, 44 + 1486 + 62379},
      {"n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1", 3, 24 + 496 + 9483},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fen);
    auto board = boardAt(c.fen);
    u64 legalMoves = 0;
    walk(board->currentNode, c.depth, legalMoves);
    if (HasFatalFailure()) return;
    EXPECT_EQ(legalMoves, c.legalMoves);
    EXPECT_EQ(board->currentNode.undoCount, 0u);
  }
}

TEST(MakeMove, ClockEnPassantFileAndPhaseBeyondTheTable) {
  // A quiet piece move counts on; a capture or a pawn move starts again.
  auto board = boardAt("4k3/8/8/n7/8/8/4P3/R3K3 w - - 7 30");
  ChessBoardNode& node = board->currentNode;
  const struct {
    const char* move;
    int clock;
  } plies[] = {{"a1a2", 8}, {"e8d7", 9}, {"a2a5", 0}, {"d7c6", 1}, {"e2e4", 0}};
  for (const auto& p : plies) {
    ASSERT_EQ(node.makeMove(findMove(node, p.move)), 1) << p.move;
    EXPECT_EQ(node.halfMoveClock, p.clock) << p.move;
  }
  // A double push opens the file (e + 1), though no black pawn can take.
  EXPECT_EQ(node.enPassantFile, 5);
  node.makeMove(findMove(node, "c6d6"));
  EXPECT_EQ(node.enPassantFile, 0);

  // Phase weights 31, and a promotion lifts the sum past the table.
  board = boardAt("rnbqkbnr/1P6/8/7r/3QB3/8/8/RNBQKBNR w - - 0 1");
  EXPECT_EQ(board->currentNode.phaseSum[WHITE] + board->currentNode.phaseSum[BLACK], 31);
  ASSERT_EQ(board->currentNode.makeMove(findMove(board->currentNode, "b7c8q")), 1);
  EXPECT_EQ(board->currentNode.phaseSum[WHITE] + board->currentNode.phaseSum[BLACK], 34);
  EXPECT_EQ(board->currentNode.gamePhase, 0);
}

TEST(MakeMove, RefusedMovesChangeNothing) {
  auto board = newTestBoard();
  ChessBoardNode& node = board->currentNode;
  const NodeFields start(node);
  // No moving piece: the empty move, or a word whose piece field is 0 or 7.
  for (u32 word : {0u, 0x30Cu, 0x730Cu}) {
    EXPECT_EQ(node.makeMove(word), 0);
    EXPECT_EQ(node.unMakeMove(word), 0);
    EXPECT_EQ(differences(start, NodeFields(node)), "") << word;
  }
  // Only the move on top of the undo stack can be taken back.
  const ChessMove e4 = findMove(node, "e2e4"), d4 = findMove(node, "d2d4");
  EXPECT_EQ(node.unMakeMove(e4), 0);
  ASSERT_EQ(node.makeMove(e4), 1);
  const NodeFields after(node);
  EXPECT_EQ(node.unMakeMove(d4), 0);
  EXPECT_EQ(differences(after, NodeFields(node)), "");

  // Knights out and back until the stacks are full: the next move is
  // refused, and so is the caller's unmake of it; all else comes back.
  const char* cycle[4] = {"f3g1", "b8c6", "g1f3", "c6b8"};
  std::vector<ChessMove> made = {e4};
  while (node.canMakeMove()) {
    made.push_back(findMove(node, cycle[made.size() % 4]));
    ASSERT_EQ(node.makeMove(made.back()), 1);
  }
  EXPECT_EQ(made.size(), (size_t)std::min(UNDO_STACK_SIZE, HASH_HISTORY_SIZE));
  const NodeFields full(node);
  const ChessMove next = findMove(node, cycle[made.size() % 4]);
  EXPECT_EQ(node.makeMove(next), 0);
  EXPECT_EQ(node.unMakeMove(next), 0);
  EXPECT_EQ(differences(full, NodeFields(node)), "");
  for (; !made.empty(); made.pop_back()) ASSERT_EQ(node.unMakeMove(made.back()), 1);
  EXPECT_EQ(differences(start, NodeFields(node)), "");
}

TEST(MakeMove, ConsistencyCheckCountsFaults) {
  auto board = newTestBoard();
  ChessBoardNode& node = board->currentNode;
  // A knight on no bitboard: missing from all three boards, and it counts
  // as black material.
  node.pieceArray[sq("e4")] = KNIGHT;
  EXPECT_EQ(node.testBoard(), 4);
  node.pieceArray[sq("e4")] = 0;
  node.pieceCount[WHITE * 7 + PAWN] = 7;
  node.material[BLACK] += 1;
  node.kingSquare[WHITE] = sq("d1");
  EXPECT_EQ(node.testBoard(), 3);
}

// The null move of the search: the other side is to move, the en-passant
// file is gone and the clock runs on, the key follows, the placement and the
// key history stay; taking it back restores every field, also on top of a
// made move.
TEST(MakeMove, NullMoveIsTakenBackExactly) {
  for (const char* fen : {"rnbqkbnr/ppp1pppp/8/8/3pP3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 3",
                          "4k3/8/8/n7/8/8/4P3/R3K3 w - - 7 30"}) {
    SCOPED_TRACE(fen);
    auto board = boardAt(fen);
    ChessBoardNode& node = board->currentNode;
    for (int withMove = 0; withMove < 2; withMove++) {
      const ChessMove first = withMove ? legalMoves(node).front() : ChessMove(0);
      if (withMove) {
        ASSERT_EQ(node.makeMove(first), 1);
      }
      const NodeFields before(node);
      node.makeNullMove();
      EXPECT_EQ(node.sideToMove, before.sideToMove ^ 1);
      EXPECT_EQ(node.opponent, before.sideToMove);
      EXPECT_EQ(node.enPassantFile, 0);
      EXPECT_EQ(node.halfMoveClock, before.halfMoveClock + 1);
      EXPECT_EQ(node.hashKey, node.createHashKey());
      EXPECT_EQ(node.undoCount, before.undoCount + 1);
      EXPECT_EQ(node.hashHistoryCount, before.hashHistoryCount);
      EXPECT_EQ(memcmp(node.pieceArray, before.pieceArray, sizeof before.pieceArray), 0);
      // The passed position is one that moves can be made in and taken back.
      const ChessMove reply = legalMoves(node).front();
      ASSERT_EQ(node.makeMove(reply), 1);
      ASSERT_EQ(node.unMakeMove(reply), 1);
      node.unMakeNullMove();
      EXPECT_EQ(differences(before, NodeFields(node)), "");
      if (withMove) {
        ASSERT_EQ(node.unMakeMove(first), 1);
      }
    }
  }
}
