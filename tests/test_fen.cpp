// FEN reading, writing and mirroring: accepted and refused strings, the
// set-up rules for castle rights, en passant and the clock, and round trips.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/support/test_board.h"

namespace {

const std::string PLACEMENT = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR";
const std::string AFTER_E4 = "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq ";
const std::string KINGS = "4k3/8/8/8/8/8/8/4K3 w - - ";

std::string reverseFen(TestBoard& board, const std::string& fen) {
  std::string src(fen);
  std::vector<char> dst(fen.size() + 1, '#');
  EXPECT_EQ(board.reverseFENPosition(&src[0], dst.data()), 1);
  return dst.data();
}

}  // namespace

TEST(Fen, AcceptedAndRefusedStrings) {
  const std::string P = PLACEMENT, K = KINGS;
  const std::string refused[] = {
      // Fields: the string must go on past the en-passant field.
      P + " w KQkq -", P + " w KQkq", P, P + " x KQkq - 0 1", P + "  w KQkq - 0 1",
      P + " w KX - 0 1", "", " ", "\xe9\xe9\xe9\xe9",
      // Placement: nine squares, seven and "/", digits 0 and 9, seven and
      // nine ranks, no such piece.
      "rnbqkbnr/ppppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
      "rnbqkbnr/ppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
      "rnbqkbnr/pppppppp/08/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
      "rnbqkbnr/pppppppp/9/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
      "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP w KQkq - 0 1", P + "/8 w KQkq - 0 1",
      "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNX w KQkq - 0 1",
      // Only positions a game can reach: one king each, at most eight pawns
      // plus extra pieces (knights, bishops, rooks beyond 2, queens beyond
      // 1), no pawn on rank 1 or 8, the side not to move not in check.
      "rnbqkbnr/pppppppp/8/8/8/P7/PPPPPPPP/RNBQKBNR w KQkq - 0 1", "4k3/8/8/8/8/8/8/4K2K w - - 0 1",
      "4k2k/8/8/8/8/8/8/4K3 w - - 0 1", "8/8/8/8/8/8/8/4K3 w - - 0 1",
      "4k3/8/8/8/8/8/8/8 w - - 0 1", "4k3/8/8/8/NNNNN3/NNNNN3/8/4K3 w - - 0 1",
      "4k3/8/8/8/8/NNN5/PPPPPPPP/4K3 w - - 0 1", "4k3/8/8/8/8/QQ6/PPPPPPPP/4K3 w - - 0 1",
      "P3k3/8/8/8/8/8/8/4K3 w - - 0 1", "4k3/8/8/8/8/8/8/p3K3 w - - 0 1",
      "4k3/8/8/8/8/8/8/4R2K w - - 0 1", "4k3/8/8/8/8/3n4/8/4K3 b - - 0 1",
      // The en-passant field is "-" or a file with an optional rank digit.
      AFTER_E4 + "ee 0 1", AFTER_E4 + "3 0 1", AFTER_E4 + "e33 0 1", AFTER_E4 + "-e 0 1",
      AFTER_E4 + "e- 0 1", AFTER_E4 + "i3 0 1", AFTER_E4 + " 0 1",
      // The clock is read digit by digit, the move number never.
      K + std::string(31, '9') + " 1", K + "0 " + std::string(31, '9')};
  const std::string accepted[] = {P + " w KQkq - ",
                                  P + " w KQkq - bm e4; id \"x\";",
                                  "4k3/8/8/8/8/NNN5/PPPPPPP1/4K3 w - - 0 1",
                                  "4k3/8/8/8/8/Q7/1PPPPPPP/4K1Q1 w - - 0 1",
                                  "4k3/8/8/8/8/8/BBBBBBBB/4K3 w - - 0 1",
                                  "4k3/8/8/8/8/8/8/4R2K b - - 0 1",
                                  AFTER_E4 + "e 0 1",
                                  K + std::string(30, '1') + " " + std::string(30, '1')};
  // A refused string changes nothing; an accepted one empties the record
  // and the ordering tables.
  auto board = newTestBoard();
  ASSERT_TRUE(playMoves(*board, {"e2e4", "e7e5", "g1f3"}));
  board->killer1[3] = 1234;
  const NodeFields before(board->currentNode);
  for (const std::string& fen : refused) EXPECT_EQ(setFen(*board, fen), 0) << fen;
  EXPECT_EQ(differences(before, NodeFields(board->currentNode)), "");
  EXPECT_EQ(board->gameLength, 3u);
  EXPECT_EQ(board->killer1[3], 1234u);
  for (const std::string& fen : accepted) EXPECT_EQ(setFen(*board, fen), 1) << fen;
  EXPECT_EQ(board->gameLength, 0u);
  EXPECT_EQ(board->killer1[3], 0u);
  // Hostile bytes anywhere: accepted or refused, never a fault.
  const std::string start = P + " w KQkq - 0 1";
  for (size_t i = 0; i < start.size(); i++)
    for (char c : {'\x80', '\xff', '\t', '\r', '/', ' ', '9'})
      setFen(*board, start.substr(0, i) + c + start.substr(i + 1));
}

TEST(Fen, SetUpRules) {
  // Castle rights need king and rook of that colour at home; the en-passant
  // file stands only when an enemy pawn is behind the target and target and
  // origin are empty (the rank digit is ignored); the clock keeps a byte.
  const struct {
    std::string fen;
    int castle, ep, clock;
  } cases[] = {
      {PLACEMENT + " w kqKQ - 0 1", 15, 0, 0},
      {PLACEMENT + " w Kk- - 0 1", CASTLE_WK | CASTLE_BK, 0, 0},
      {"r3k3/8/8/8/8/8/8/4K2R w KQkq - 0 1", CASTLE_WK | CASTLE_BQ, 0, 0},
      {"r3k2r/8/8/8/8/8/8/R4K1R w KQkq - 0 1", CASTLE_BK | CASTLE_BQ, 0, 0},
      {"rk5r/8/8/8/8/8/8/R3K2R b KQkq - 0 1", CASTLE_WK | CASTLE_WQ, 0, 0},
      {"4k3/8/8/8/8/8/8/4K2r w K - 0 1", 0, 0, 0},
      {"4k3/8/8/8/8/8/8/4K1br b K - 0 1", 0, 0, 0},
      {AFTER_E4 + "e3 0 1", 15, 5, 0},
      {AFTER_E4 + "e6 0 1", 15, 5, 0},
      {AFTER_E4 + "d3 0 1", 15, 0, 0},                                            // no pawn on d4
      {"rnbqkbnr/pppppppp/8/8/4P3/8/PPPPPPP1/RNBQKBNR b KQkq e3 0 1", 15, 0, 0},  // e2 occupied
      {"rnbqkbnr/pppp1ppp/8/8/4p3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1", 15, 0, 0},  // own pawn
      {"rnbqkbnr/ppp1pppp/8/3p4/8/8/PPPPPPPP/RNBQKBNR w KQkq d6 0 1", 15, 4, 0},
      {KINGS + "37 1", 0, 0, 37},
      {KINGS + "300 1", 0, 0, 44},
      {KINGS + "37", 0, 0, 0},  // no blank after it: not taken
      {KINGS + "12 99999999999999999999999999999 ", 0, 0, 12},
  };
  auto board = newTestBoard();
  const ChessBoardNode& n = board->currentNode;
  for (const auto& c : cases) {
    ASSERT_EQ(setFen(*board, c.fen), 1) << c.fen;
    EXPECT_EQ(n.castleRights, c.castle) << c.fen;
    EXPECT_EQ(n.enPassantFile, c.ep) << c.fen;
    EXPECT_EQ(n.halfMoveClock, c.clock) << c.fen;
  }
  // A dropped right is not generated: 5 king moves, 9 rook moves.
  ASSERT_EQ(setFen(*board, "4k3/8/8/8/8/8/8/4K1R1 w K - 0 1"), 1);
  EXPECT_EQ(board->searchAllMoves(&board->currentNode, 1, 0), 5u + 9u);
}

// A position reached in a game and the same position set up by FEN have the
// same key and the same moves: the en-passant file stands in both after
// every double step.
TEST(Fen, GamePositionsKeepTheirKeys) {
  auto game = newTestBoard();
  auto fen = newTestBoard();
  const char* moves[] = {"e2e4", "c7c5", "e4e5", "d7d5"};
  const char* fens[] = {
      "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1",
      "rnbqkbnr/pp1ppppp/8/2p5/4P3/8/PPPP1PPP/RNBQKBNR w KQkq c6 0 2",
      "rnbqkbnr/pp1ppppp/8/2p1P3/8/8/PPPP1PPP/RNBQKBNR b KQkq - 0 2",
      "rnbqkbnr/pp2pppp/8/2ppP3/8/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 3",
  };
  for (int i = 0; i < 4; i++) {
    ASSERT_TRUE(playMoves(*game, {moves[i]}));
    ASSERT_EQ(setFen(*fen, fens[i]), 1);
    EXPECT_EQ(fen->currentNode.hashKey, game->currentNode.hashKey) << fens[i];
    EXPECT_EQ(fen->searchAllMoves(&fen->currentNode, 3, 0),
              game->searchAllMoves(&game->currentNode, 3, 0));
  }
}

TEST(Fen, WritesCanonicalFen) {
  // Written with a blank at the end; the same string when none is given.
  const char* cases[][2] = {
      {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", nullptr},
      {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", nullptr},
      {"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b qkQK e 17 40",
       "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1"},
      {"rnbqkbnr/ppp1pppp/8/3p4/8/8/PPPPPPPP/RNBQKBNR w KQkq d3 0 1",
       "rnbqkbnr/ppp1pppp/8/3p4/8/8/PPPPPPPP/RNBQKBNR w KQkq d6 0 1"},
      {"4k3/8/8/8/8/8/8/R3K3 w Qk - 5 9", "4k3/8/8/8/8/8/8/R3K3 w Q - 0 1"},
  };
  auto board = newTestBoard();
  for (const auto& c : cases) {
    ASSERT_EQ(setFen(*board, c[0]), 1) << c[0];
    char out[128];
    ASSERT_EQ(board->getFENPosition(out), 1);
    EXPECT_EQ(std::string(out), std::string(c[1] ? c[1] : c[0]) + " ");
    const u64 key = board->currentNode.hashKey;
    ASSERT_EQ(setFen(*board, out), 1);
    EXPECT_EQ(board->currentNode.hashKey, key);
  }
}

TEST(Fen, ReverseGivesTheColourMirror) {
  auto board = newTestBoard();
  EXPECT_EQ(reverseFen(*board, "4k3/8/8/8/8/8/4P3/4K3 w - - 0 1"),
            "4k3/4p3/8/8/8/8/8/4K3 b - - 0 1");
  EXPECT_EQ(reverseFen(*board, "r3k2r/8/8/8/8/8/8/R3K2R b Kq - 0 1"),
            "r3k2r/8/8/8/8/8/8/R3K2R w kQ - 0 1");
  // The mirror has the same counts and en-passant file; mirroring twice
  // gives the string back.
  for (const char* fen : {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
                          "rnbqkbnr/ppp1pppp/8/8/3pP3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1",
                          "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8"}) {
    SCOPED_TRACE(fen);
    const std::string mirrored = reverseFen(*board, fen);
    EXPECT_EQ(reverseFen(*board, mirrored), fen);
    ASSERT_EQ(setFen(*board, fen), 1);
    const u64 nodes = board->searchAllMoves(&board->currentNode, 3, 0);
    const u8 ep = board->currentNode.enPassantFile;
    ASSERT_EQ(setFen(*board, mirrored), 1);
    EXPECT_EQ(board->searchAllMoves(&board->currentNode, 3, 0), nodes);
    EXPECT_EQ(board->currentNode.enPassantFile, ep);
  }
  // Malformed input is copied without running past either string.
  for (const char* odd : {"", "k", "8/8/8", "a/b/c/d/e/f/g/h/i/j w KQ - 0 1", "////////// "})
    EXPECT_EQ(reverseFen(*board, odd).size(), strlen(odd)) << odd;
}
