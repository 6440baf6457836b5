// Perft against published figures: the start position, Kiwipete and the
// other standard test positions with all seven statistics where they are
// published, and positions built to catch en-passant, castling and
// promotion faults.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/perft.h"
#include "tests/support/test_board.h"

namespace {

struct PerftFigures {
  u64 nodes, captures, ep, checks, mates, promotions, castles;
};

// Sentinel for a statistic that is not published.
const u64 NA = ~0ULL;

PerftFigures countPerft(TestBoard& board, int depth) {
  clearPerftCounters();
  board.perft(depth, 0);
  return {countnode, countcapture, countep, countcheck, countmate, countpromotion, countcastle};
}

void expectFigures(TestBoard& board, int depth, const PerftFigures& want) {
  PerftFigures got = countPerft(board, depth);
  SCOPED_TRACE("depth " + std::to_string(depth));
  EXPECT_EQ(got.nodes, want.nodes);
  if (want.captures != NA) {
    EXPECT_EQ(got.captures, want.captures);
  }
  if (want.ep != NA) {
    EXPECT_EQ(got.ep, want.ep);
  }
  if (want.checks != NA) {
    EXPECT_EQ(got.checks, want.checks);
  }
  if (want.mates != NA) {
    EXPECT_EQ(got.mates, want.mates);
  }
  if (want.promotions != NA) {
    EXPECT_EQ(got.promotions, want.promotions);
  }
  if (want.castles != NA) {
    EXPECT_EQ(got.castles, want.castles);
  }
}

std::unique_ptr<TestBoard> boardAt(const char* fen) {
  auto board = newTestBoard();
  std::string text(fen);
  EXPECT_EQ(board->setFENPosition(&text[0]), 1) << fen;
  return board;
}

const char* const KIWIPETE = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";
const char* const POSITION3 = "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1";
const char* const POSITION4 = "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1";
const char* const POSITION4_MIRRORED =
    "r2q1rk1/pP1p2pp/Q4n2/bbp1p3/Np6/1B3NBn/pPPP1PPP/R3K2R b KQ - 0 1";
const char* const POSITION5 = "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8";
const char* const POSITION6 =
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10";

}  // namespace

// Figures below: nodes, captures, e.p., checks, mates, promotions, castles.

TEST(Perft, StartPositionToDepth5) {
  auto board = newTestBoard();
  expectFigures(*board, 1, {20, 0, 0, 0, 0, 0, 0});
  expectFigures(*board, 2, {400, 0, 0, 0, 0, 0, 0});
  expectFigures(*board, 3, {8902, 34, 0, 12, 0, 0, 0});
  expectFigures(*board, 4, {197281, 1576, 0, 469, 8, 0, 0});
  expectFigures(*board, 5, {4865609, 82719, 258, 27351, 347, 0, 0});
}

TEST(Perft, StartPositionDepth6Deep) {
  auto board = newTestBoard();
  expectFigures(*board, 6, {119060324, 2812008, 5248, 809099, 10828, 0, 0});
}

TEST(Perft, KiwipeteToDepth4) {
  auto board = boardAt(KIWIPETE);
  expectFigures(*board, 1, {48, 8, 0, 0, 0, 0, 2});
  expectFigures(*board, 2, {2039, 351, 1, 3, 0, 0, 91});
  expectFigures(*board, 3, {97862, 17102, 45, 993, 1, 0, 3162});
  expectFigures(*board, 4, {4085603, 757163, 1929, 25523, 43, 15172, 128013});
}

TEST(Perft, KiwipeteDepth5Deep) {
  auto board = boardAt(KIWIPETE);
  expectFigures(*board, 5, {193690690, 35043416, 73365, 3309887, 30171, 8392, 4993637});
}

TEST(Perft, Position3ToDepth5) {
  auto board = boardAt(POSITION3);
  expectFigures(*board, 1, {14, 1, 0, 2, 0, 0, 0});
  expectFigures(*board, 2, {191, 14, 0, 10, 0, 0, 0});
  expectFigures(*board, 3, {2812, 209, 2, 267, 0, 0, 0});
  expectFigures(*board, 4, {43238, 3348, 123, 1680, 17, 0, 0});
  expectFigures(*board, 5, {674624, 52051, 1165, 52950, 0, 0, 0});
}

TEST(Perft, Position3Depth7Deep) {
  auto board = boardAt(POSITION3);
  expectFigures(*board, 6, {11030083, 940350, 33325, 452473, 2733, 7552, 0});
  expectFigures(*board, 7, {178633661, 14519036, 294874, 12797406, 87, 140024, 0});
}

TEST(Perft, Position4AndItsMirrorToDepth4) {
  for (const char* fen : {POSITION4, POSITION4_MIRRORED}) {
    SCOPED_TRACE(fen);
    auto board = boardAt(fen);
    expectFigures(*board, 1, {6, 0, 0, 0, 0, 0, 0});
    expectFigures(*board, 2, {264, 87, 0, 10, 0, 48, 6});
    expectFigures(*board, 3, {9467, 1021, 4, 38, 22, 120, 0});
    expectFigures(*board, 4, {422333, 131393, 0, 15492, 5, 60032, 7795});
  }
}

TEST(Perft, Position4Depth5Deep) {
  auto board = boardAt(POSITION4);
  expectFigures(*board, 5, {15833292, 2046173, 6512, 200568, 50562, 329464, 0});
}

TEST(Perft, Positions5And6ToDepth3) {
  auto board = boardAt(POSITION5);
  expectFigures(*board, 1, {44, NA, NA, NA, NA, NA, NA});
  expectFigures(*board, 2, {1486, NA, NA, NA, NA, NA, NA});
  expectFigures(*board, 3, {62379, NA, NA, NA, NA, NA, NA});
  board = boardAt(POSITION6);
  expectFigures(*board, 1, {46, NA, NA, NA, NA, NA, NA});
  expectFigures(*board, 2, {2079, NA, NA, NA, NA, NA, NA});
  expectFigures(*board, 3, {89890, NA, NA, NA, NA, NA, NA});
}

TEST(Perft, Positions5And6Deep) {
  auto board = boardAt(POSITION5);
  expectFigures(*board, 4, {2103487, NA, NA, NA, NA, NA, NA});
  expectFigures(*board, 5, {89941194, NA, NA, NA, NA, NA, NA});
  board = boardAt(POSITION6);
  expectFigures(*board, 4, {3894594, NA, NA, NA, NA, NA, NA});
  expectFigures(*board, 5, {164075551, NA, NA, NA, NA, NA, NA});
}

// Positions that catch the classic faults: en passant that exposes the king
// or gives check, castling that gives check or is prevented, promotions out
// of and into check, stalemate and mate at the leaves.
TEST(Perft, TrickyPositions) {
  struct Case {
    const char* fen;
    int depth;
    u64 nodes;
  };
  static const Case cases[] = {
      {"3k4/3p4/8/K1P4r/8/8/8/8 b - - 0 1", 6, 1134888},          // illegal e.p. (pin)
      {"8/8/4k3/8/2p5/8/B2P2K1/8 w - - 0 1", 6, 1015133},         // illegal e.p. (pin)
      {"8/8/1k6/2b5/2pP4/8/5K2/8 b - d3 0 1", 6, 1440467},        // e.p. gives check
      {"5k2/8/8/8/8/8/8/4K2R w K - 0 1", 6, 661072},              // O-O gives check
      {"3k4/8/8/8/8/8/8/R3K3 w Q - 0 1", 6, 803711},              // O-O-O gives check
      {"r3k2r/1b4bq/8/8/8/8/7B/R3K2R w KQkq - 0 1", 4, 1274206},  // castle rights
      {"r3k2r/8/3Q4/8/8/5q2/8/R3K2R b KQkq - 0 1", 4, 1720476},   // castling prevented
      {"2K2r2/4P3/8/8/8/8/8/3k4 w - - 0 1", 6, 3821001},          // promote out of check
      {"8/8/1P2K3/8/2n5/1q6/8/5k2 b - - 0 1", 5, 1004658},        // discovered check
      {"4k3/1P6/8/8/8/8/K7/8 w - - 0 1", 6, 217342},              // promote to give check
      {"8/P1k5/K7/8/8/8/8/8 w - - 0 1", 6, 92683},                // under-promote to check
      {"K1k5/8/P7/8/8/8/8/8 w - - 0 1", 6, 2217},                 // self stalemate
      {"8/k1P5/8/1K6/8/8/8/8 w - - 0 1", 7, 567584},              // stalemate and mate
      {"8/8/2k5/5q2/5n2/8/5K2/8 b - - 0 1", 4, 23527},            // stalemate and mate
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fen);
    auto board = boardAt(c.fen);
    EXPECT_EQ(board->searchAllMoves(&board->currentNode, c.depth, 0), c.nodes);
  }
}

// The leaf classification: a check with a legal reply counts as a check
// only, a mate as both, a stalemate as neither. White: Kb6, Qg1; Black: Ka8.
// Qa1+, Qh1+ and Qg2+ check, Qg8 mates, Qg3 and Qh2 stalemate.
TEST(Perft, ChecksMatesAndStalematesAtTheLeaves) {
  auto board = boardAt("k7/8/1K6/8/8/8/8/6Q1 w - - 0 1");
  expectFigures(*board, 1, {25, 0, 0, 4, 1, 0, 0});
}

TEST(Perft, DepthsOutsideTheRangeCountNothing) {
  auto board = newTestBoard();
  u64 key = board->currentNode.hashKey;
  for (int depth : {0, -1, -100, 65, 1000}) {
    clearPerftCounters();
    board->perft(depth, 0);
    EXPECT_EQ(countnode, 0u) << depth;
  }
  EXPECT_EQ(board->currentNode.hashKey, key);
  EXPECT_EQ(board->searchAllMoves(&board->currentNode, 0, 0), 1u);
  EXPECT_EQ(board->searchAllMoves(&board->currentNode, -3, 0), 1u);
  EXPECT_EQ(board->searchAllMoves(&board->currentNode, 65, 0), 0u);
}

TEST(Perft, NoLegalMoveGivesZero) {
  // Fool's mate: White is mated.
  auto board = boardAt("rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3");
  EXPECT_EQ(board->searchAllMoves(&board->currentNode, 1, 0), 0u);
  EXPECT_EQ(board->searchAllMoves(&board->currentNode, 3, 0), 0u);
  EXPECT_EQ(countPerft(*board, 2).nodes, 0u);
}

TEST(Perft, DoPerftFillsTheTableFromTheLastRow) {
  auto board = newTestBoard();
  memset(perftNode, 0xff, sizeof(perftNode));
  board->doPerft(3);
  EXPECT_EQ(perftNode[3][PERFT_NODES], 20u);
  EXPECT_EQ(perftNode[2][PERFT_NODES], 400u);
  EXPECT_EQ(perftNode[1][PERFT_NODES], 8902u);
  EXPECT_EQ(perftNode[1][PERFT_CAPTURES], 34u);
  EXPECT_EQ(perftNode[1][PERFT_CHECKS], 12u);
  EXPECT_EQ(perftNode[0][PERFT_NODES], 0u);   // row 0 is never written
  EXPECT_EQ(perftNode[4][PERFT_NODES], 0u);   // the first 16 rows are cleared
  EXPECT_EQ(perftNode[1][5], 0u);
}

// Every position reached by a walk keeps its incremental key equal to the
// key computed from scratch, and make/unmake puts every field back.
TEST(Perft, KeysStayRightOverWholeWalks) {
  struct Walker {
    TestBoard& board;
    u64 visited = 0;
    bool allRight = true;
    void walk(int depth, int ply) {
      ChessBoardNode& n = board.currentNode;
      ChessMoveSort list[MAX_MOVES];
      unsigned count;
      if (n.inCheck()) {
        count = (unsigned)n.generateKingEvasion(list);
      } else {
        unsigned c = 0, q = 0;
        n.generateMovesC(list, &c);
        n.generateMovesNC(list + c, &q);
        count = c + q;
      }
      for (unsigned i = 0; i < count; i++) {
        u64 key = n.hashKey;
        u8 rights = n.castleRights, ep = n.enPassantFile, clock = n.halfMoveClock;
        i32 material[2] = {n.material[0], n.material[1]};
        i32 pst[2] = {n.pstMiddlegame[0], n.pstMiddlegame[1]};
        u8 pieces[64];
        memcpy(pieces, n.pieceArray, 64);
        if (n.makeMove(list[i].move)) {
          visited++;
          if (!board.testHashKey(depth, ply + 1)) allRight = false;
          if (depth > 1) walk(depth - 1, ply + 1);
        }
        n.unMakeMove(list[i].move);
        if (n.hashKey != key || n.castleRights != rights || n.enPassantFile != ep ||
            n.halfMoveClock != clock || n.material[0] != material[0] ||
            n.material[1] != material[1] || n.pstMiddlegame[0] != pst[0] ||
            n.pstMiddlegame[1] != pst[1] || memcmp(pieces, n.pieceArray, 64) != 0)
          allRight = false;
      }
    }
  };
  for (const char* fen : {KIWIPETE, POSITION3, POSITION4, POSITION5}) {
    SCOPED_TRACE(fen);
    auto board = boardAt(fen);
    Walker w{*board};
    w.walk(3, 0);
    EXPECT_TRUE(w.allRight);
    EXPECT_GT(w.visited, 1000u);
  }
}

TEST(Perft, TestHashKeyReportsAWrongKey) {
  auto board = newTestBoard();
  char e2e4[] = "e2e4";
  ASSERT_EQ(board->setMoveSquare(e2e4), 1);
  EXPECT_EQ(board->testHashKey(1, 1), 1);
  board->currentNode.hashKey ^= 1;
  EXPECT_EQ(board->testHashKey(1, 1), 0);
  EXPECT_EQ(board->testHashKey(1, 5000), 0);   // more plies than the stack holds
}
