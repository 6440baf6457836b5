// FEN reading, writing and mirroring: accepted and refused strings, the
// set-up rules for castle rights and en passant, and round trips.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/perft.h"
#include "tests/support/test_board.h"

namespace {

const char* const START = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

int setFen(TestBoard& board, const std::string& fen) {
  std::string text(fen);
  return board.setFENPosition(&text[0]);
}

std::string getFen(TestBoard& board) {
  char out[128];
  EXPECT_EQ(board.getFENPosition(out), 1);
  return out;
}

std::string reverseFen(TestBoard& board, const std::string& fen) {
  std::string src(fen);
  std::vector<char> dst(fen.size() + 1, '#');
  EXPECT_EQ(board.reverseFENPosition(&src[0], dst.data()), 1);
  return dst.data();
}

u64 perftNodes(TestBoard& board, int depth) {
  return board.searchAllMoves(&board.currentNode, depth, 0);
}

}  // namespace

TEST(Fen, StartPositionEqualsNewGame) {
  auto fresh = newTestBoard();
  auto board = newTestBoard();
  char e2e4[] = "e2e4";
  ASSERT_EQ(board->setMoveSquare(e2e4), 1);
  ASSERT_EQ(setFen(*board, START), 1);
  const ChessBoardNode& a = fresh->currentNode;
  const ChessBoardNode& b = board->currentNode;
  EXPECT_EQ(a.hashKey, b.hashKey);
  EXPECT_EQ(memcmp(a.bbPiece, b.bbPiece, sizeof(a.bbPiece)), 0);
  EXPECT_EQ(memcmp(a.pieceArray, b.pieceArray, sizeof(a.pieceArray)), 0);
  EXPECT_EQ(memcmp(a.pieceCount, b.pieceCount, sizeof(a.pieceCount)), 0);
  for (int c = 0; c < 2; c++) {
    EXPECT_EQ(b.material[c], 4075);
    EXPECT_EQ(b.phaseSum[c], 12);
    EXPECT_EQ(a.pstMiddlegame[c], b.pstMiddlegame[c]);
    EXPECT_EQ(a.pstEndgame[c], b.pstEndgame[c]);
    EXPECT_EQ(a.kingSquare[c], b.kingSquare[c]);
  }
  EXPECT_EQ(b.gamePhase, 0);
  EXPECT_EQ(b.castleRights, 15);
  EXPECT_EQ(board->legalMoveCount, 20u);
  EXPECT_EQ(b.undoCount, 0u);
  EXPECT_EQ(board->gameLength, 0u);
  EXPECT_EQ(board->lastMove, 0u);
}

TEST(Fen, FieldsAfterThePlacement) {
  auto board = newTestBoard();
  std::string placement = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR";
  // The string must go on past the en-passant field.
  EXPECT_EQ(setFen(*board, placement + " w KQkq -"), 0);
  EXPECT_EQ(setFen(*board, placement + " w KQkq - "), 1);
  EXPECT_EQ(setFen(*board, placement + " w KQkq"), 0);
  EXPECT_EQ(setFen(*board, placement + " w"), 0);
  EXPECT_EQ(setFen(*board, placement), 0);
  EXPECT_EQ(setFen(*board, placement + " x KQkq - 0 1"), 0);
  EXPECT_EQ(setFen(*board, placement + "  w KQkq - 0 1"), 0);
  // An EPD line: operations after the en-passant field.
  EXPECT_EQ(setFen(*board, placement + " w KQkq - bm e4; id \"x\";"), 1);
  // Castling letters in any order, "-" adds nothing.
  ASSERT_EQ(setFen(*board, placement + " w kqKQ - 0 1"), 1);
  EXPECT_EQ(board->currentNode.castleRights, 15);
  ASSERT_EQ(setFen(*board, placement + " w Kk- - 0 1"), 1);
  EXPECT_EQ(board->currentNode.castleRights, CASTLE_WK | CASTLE_BK);
  EXPECT_EQ(setFen(*board, placement + " w KX - 0 1"), 0);
  // Black to move.
  ASSERT_EQ(setFen(*board, placement + " b KQkq - 0 1"), 1);
  EXPECT_EQ(board->currentNode.sideToMove, (u32)BLACK);
  EXPECT_EQ(board->currentNode.opponent, (u32)WHITE);
}

TEST(Fen, HalfMoveClock) {
  auto board = newTestBoard();
  std::string head = "4k3/8/8/8/8/8/8/4K3 w - - ";
  ASSERT_EQ(setFen(*board, head + "37 1"), 1);
  EXPECT_EQ(board->currentNode.halfMoveClock, 37);
  ASSERT_EQ(setFen(*board, head + "300 1"), 1);
  EXPECT_EQ(board->currentNode.halfMoveClock, 44);   // kept in a byte
  ASSERT_EQ(setFen(*board, head + "37"), 1);          // no blank after it: not taken
  EXPECT_EQ(board->currentNode.halfMoveClock, 0);
  ASSERT_EQ(setFen(*board, head + "12 99999999999999999999999999999 "), 1);
  EXPECT_EQ(board->currentNode.halfMoveClock, 12);   // the move number is never read
  std::string digits31(31, '9');
  EXPECT_EQ(setFen(*board, head + digits31 + " 1"), 0);
  EXPECT_EQ(setFen(*board, head + "0 " + digits31), 0);
  std::string digits30(30, '1');
  ASSERT_EQ(setFen(*board, head + digits30 + " " + digits30), 1);
}

TEST(Fen, PlacementRefusals) {
  auto board = newTestBoard();
  const char* refused[] = {
      "rnbqkbnr/ppppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",   // nine squares
      "rnbqkbnr/5p3/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",         // nine squares
      "rnbqkbnr/ppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",     // seven and "/"
      "rnbqkbnr/pppppppp/08/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",   // digit 0
      "rnbqkbnr/pppppppp/9/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",    // digit 9
      "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP w KQkq - 0 1",             // seven ranks
      "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR/8 w KQkq - 0 1",  // nine ranks
      "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNX w KQkq - 0 1",    // no such piece
      "",
      " ",
  };
  for (const char* fen : refused) EXPECT_EQ(setFen(*board, fen), 0) << fen;
}

TEST(Fen, OnlyPositionsAGameCanReach) {
  auto board = newTestBoard();
  const char* refused[] = {
      "rnbqkbnr/pppppppp/8/8/8/P7/PPPPPPPP/RNBQKBNR w KQkq - 0 1",   // ninth pawn
      "4k3/8/8/8/8/8/8/4K2K w - - 0 1",                              // second king
      "4k2k/8/8/8/8/8/8/4K3 w - - 0 1",
      "8/8/8/8/8/8/8/4K3 w - - 0 1",                                 // no black king
      "4k3/8/8/8/8/8/8/8 w - - 0 1",                                 // no white king
      "8/8/8/8/8/8/8/8 w - - 0 1",
      "4k3/8/8/8/NNNNN3/NNNNN3/8/4K3 w - - 0 1",                     // ten knights
      "4k3/8/8/8/8/NNN5/PPPPPPPP/4K3 w - - 0 1",                     // 8 pawns + 1 extra
      "4k3/8/8/8/8/QQ6/PPPPPPPP/4K3 w - - 0 1",                      // 8 pawns + 1 extra
      "P3k3/8/8/8/8/8/8/4K3 w - - 0 1",                              // pawn on rank 8
      "4k3/8/8/8/8/8/8/p3K3 w - - 0 1",                              // pawn on rank 1
      "4k3/8/8/8/8/8/8/4R2K w - - 0 1",                              // Black, not to move, in check
      "4k3/8/8/8/8/3n4/8/4K3 b - - 0 1",                             // White, not to move, in check
  };
  for (const char* fen : refused) EXPECT_EQ(setFen(*board, fen), 0) << fen;
  const char* accepted[] = {
      "4k3/8/8/8/8/NNN5/PPPPPPP1/4K3 w - - 0 1",   // 7 pawns + 1 extra knight
      "4k3/8/8/8/8/8/4R2K/8 b - - 0 1",            // the side to move may be in check
      "4k3/8/8/8/8/8/8/4R2K b - - 0 1",
      "4k3/8/8/8/8/Q7/1PPPPPPP/4K1Q1 w - - 0 1",  // 7 pawns + 1 extra queen
      "4k3/8/8/8/8/8/BBBBBBBB/4K3 w - - 0 1",      // 6 extra bishops, no pawn
  };
  for (const char* fen : accepted) EXPECT_EQ(setFen(*board, fen), 1) << fen;
}

TEST(Fen, CastleRightsNeedKingAndRookAtHome) {
  auto board = newTestBoard();
  ASSERT_EQ(setFen(*board, "r3k3/8/8/8/8/8/8/4K2R w KQkq - 0 1"), 1);
  EXPECT_EQ(board->currentNode.castleRights, CASTLE_WK | CASTLE_BQ);
  ASSERT_EQ(setFen(*board, "r3k2r/8/8/8/8/8/8/R4K1R w KQkq - 0 1"), 1);
  EXPECT_EQ(board->currentNode.castleRights, CASTLE_BK | CASTLE_BQ);
  ASSERT_EQ(setFen(*board, "rk5r/8/8/8/8/8/8/R3K2R b KQkq - 0 1"), 1);
  EXPECT_EQ(board->currentNode.castleRights, CASTLE_WK | CASTLE_WQ);
  // A black rook on h1 is no white rook.
  ASSERT_EQ(setFen(*board, "4k3/8/8/8/8/8/8/4K2r w K - 0 1"), 1);
  EXPECT_EQ(board->currentNode.castleRights, 0);
  ASSERT_EQ(setFen(*board, "4k3/8/8/8/8/8/8/4K1br b K - 0 1"), 1);
  EXPECT_EQ(board->currentNode.castleRights, 0);
  // A dropped right is not generated: 5 king moves, 9 rook moves, no castle.
  ASSERT_EQ(setFen(*board, "4k3/8/8/8/8/8/8/4K1R1 w K - 0 1"), 1);
  EXPECT_EQ(board->currentNode.castleRights, 0);
  EXPECT_EQ(perftNodes(*board, 1), 5u + 9u);
}

TEST(Fen, EnPassantFileKeptOnlyAfterAPossibleDoubleStep) {
  auto board = newTestBoard();
  // White has just played e2-e4: the pawn on e4, e3 and e2 empty.
  std::string afterE4 = "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq ";
  ASSERT_EQ(setFen(*board, afterE4 + "e3 0 1"), 1);
  EXPECT_EQ(board->currentNode.enPassantFile, 5);
  ASSERT_EQ(setFen(*board, afterE4 + "e 0 1"), 1);
  EXPECT_EQ(board->currentNode.enPassantFile, 5);
  ASSERT_EQ(setFen(*board, afterE4 + "e6 0 1"), 1);   // the rank digit is ignored
  EXPECT_EQ(board->currentNode.enPassantFile, 5);
  ASSERT_EQ(setFen(*board, afterE4 + "- 0 1"), 1);
  EXPECT_EQ(board->currentNode.enPassantFile, 0);
  ASSERT_EQ(setFen(*board, afterE4 + "d3 0 1"), 1);   // no pawn on d4
  EXPECT_EQ(board->currentNode.enPassantFile, 0);
  for (const char* field : {"ee", "3", "e33", "-e", "--", "e-", "i3", ""}) {
    EXPECT_EQ(setFen(*board, afterE4 + field + " 0 1"), 0) << "'" << field << "'";
  }
  // The origin square must be empty too, and the pawn must be the enemy's.
  ASSERT_EQ(setFen(*board, "rnbqkbnr/pppppppp/8/8/4P3/8/PPPPPPP1/RNBQKBNR b KQkq e3 0 1"), 1);
  EXPECT_EQ(board->currentNode.enPassantFile, 0);
  ASSERT_EQ(setFen(*board, "rnbqkbnr/pppp1ppp/8/8/4p3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1"), 1);
  EXPECT_EQ(board->currentNode.enPassantFile, 0);
  // Black to move after ...d7-d5: target d6 with White to move.
  ASSERT_EQ(setFen(*board, "rnbqkbnr/ppp1pppp/8/3p4/8/8/PPPPPPPP/RNBQKBNR w KQkq d6 0 1"), 1);
  EXPECT_EQ(board->currentNode.enPassantFile, 4);
}

// A position reached in a game and the same position set up by FEN have the
// same key: the en-passant file stands in both after every double step.
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
    std::string m(moves[i]);
    ASSERT_EQ(game->setMoveSquare(&m[0]), 1);
    ASSERT_EQ(setFen(*fen, fens[i]), 1);
    EXPECT_EQ(fen->currentNode.hashKey, game->currentNode.hashKey) << fens[i];
    EXPECT_EQ(fen->currentNode.enPassantFile, game->currentNode.enPassantFile);
    EXPECT_EQ(perftNodes(*fen, 3), perftNodes(*game, 3));
  }
}

TEST(Fen, RefusedStringChangesNothing) {
  auto board = newTestBoard();
  for (const char* m : {"e2e4", "e7e5", "g1f3"}) {
    std::string t(m);
    ASSERT_EQ(board->setMoveSquare(&t[0]), 1);
  }
  board->killer1[3] = 1234;
  board->historyTable[1][12][28] = 77;
  const ChessBoardNode& n = board->currentNode;
  u64 key = n.hashKey;
  u8 pieces[64];
  memcpy(pieces, n.pieceArray, 64);
  u32 legal = board->legalMoveCount, length = board->gameLength, undo = n.undoCount;
  ChessMove last = board->lastMove;
  for (const char* bad : {"4k3/8/8/8/8/8/8/4K2K w - - 0 1", "rnbqkbnr/pppppppp/8 w - -",
                          "4k3/8/8/8/8/8/8/4K3 w - -", "4k3/8/8/8/8/8/8/4K3 w - e"}) {
    EXPECT_EQ(setFen(*board, bad), 0) << bad;
  }
  EXPECT_EQ(n.hashKey, key);
  EXPECT_EQ(memcmp(pieces, n.pieceArray, 64), 0);
  EXPECT_EQ(board->legalMoveCount, legal);
  EXPECT_EQ(board->gameLength, length);
  EXPECT_EQ(n.undoCount, undo);
  EXPECT_EQ(board->lastMove, last);
  EXPECT_EQ(board->killer1[3], 1234u);
  EXPECT_EQ(board->historyTable[1][12][28], 77u);
  // An accepted one empties the record and the ordering tables.
  ASSERT_EQ(setFen(*board, START), 1);
  EXPECT_EQ(board->gameLength, 0u);
  EXPECT_EQ(board->killer1[3], 0u);
  EXPECT_EQ(board->historyTable[1][12][28], 0u);
}

TEST(Fen, HostileBytesAreRefusedSafely) {
  auto board = newTestBoard();
  std::string fen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
  for (size_t i = 0; i < fen.size(); i++) {
    for (char c : {'\x80', '\xff', '\t', '\r', '/', ' ', '9'}) {
      std::string t = fen;
      t[i] = c;
      setFen(*board, t);   // accepted or refused, never a fault
    }
  }
  std::string high = "\xe9\xe9\xe9\xe9";
  EXPECT_EQ(setFen(*board, high), 0);
}

TEST(Fen, WritesCanonicalFen) {
  auto board = newTestBoard();
  EXPECT_EQ(getFen(*board), std::string(START) + " ");
  struct Case {
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
       "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1 "},
      {"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b qkQK e 17 40",
       "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1 "},
      {"rnbqkbnr/ppp1pppp/8/3p4/8/8/PPPPPPPP/RNBQKBNR w KQkq d3 0 1",
       "rnbqkbnr/ppp1pppp/8/3p4/8/8/PPPPPPPP/RNBQKBNR w KQkq d6 0 1 "},
      {"8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1 "},
      {"4k3/8/8/8/8/8/8/R3K3 w Qk - 5 9", "4k3/8/8/8/8/8/8/R3K3 w Q - 0 1 "},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(setFen(*board, c.in), 1) << c.in;
    std::string out = getFen(*board);
    EXPECT_EQ(out, c.out);
    u64 key = board->currentNode.hashKey;
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
  // The mirrored position has the same counts, and mirroring twice gives
  // the string back.
  const char* fens[] = {
      "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
      "rnbqkbnr/ppp1pppp/8/8/3pP3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1",
      "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
  };
  for (const char* fen : fens) {
    SCOPED_TRACE(fen);
    std::string mirrored = reverseFen(*board, fen);
    EXPECT_EQ(mirrored.size(), strlen(fen));
    EXPECT_EQ(reverseFen(*board, mirrored), fen);
    ASSERT_EQ(setFen(*board, fen), 1);
    u64 nodes = perftNodes(*board, 3);
    u8 ep = board->currentNode.enPassantFile;
    ASSERT_EQ(setFen(*board, mirrored), 1);
    EXPECT_EQ(perftNodes(*board, 3), nodes);
    EXPECT_EQ(board->currentNode.enPassantFile, ep);
  }
  // Malformed input is copied without running past either string.
  for (const char* odd : {"", "k", "8/8/8", "a/b/c/d/e/f/g/h/i/j w KQ - 0 1", "////////// "}) {
    std::string out = reverseFen(*board, odd);
    EXPECT_EQ(out.size(), strlen(odd)) << odd;
  }
}
