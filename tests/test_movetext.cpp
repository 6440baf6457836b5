// Move text: long algebraic, short algebraic with disambiguation, and the
// reader of short algebraic text.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/support/test_board.h"

namespace {

const char* const START = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
const char* const CASTLES = "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1";

}  // namespace

TEST(MoveText, LongAlgebraic) {
  const struct {
    ChessMove move;
    const char* text;
  } cases[] = {
      {0, "empty"},
      {ChessMove::make(12, 28, PAWN, 0, 0, MOVE_DOUBLE_PUSH), "e2-e4"},
      {ChessMove::make(6, 21, KNIGHT), "Ng1-f3"},
      {ChessMove::make(52, 60, PAWN, 0, QUEEN), "e7-e8=Q"},
      {ChessMove::make(52, 59, PAWN, QUEEN, KNIGHT), "e7xd8=N"},
      {ChessMove(0x206184), "O-O"},
      {ChessMove(0x206EBC), "O-O-O"},
      {ChessMove(0x206184 | MOVE_CHECK), "O-O"},
      {ChessMove::make(36, 43, PAWN, PAWN, 0, MOVE_EN_PASSANT), "e5xd6 e.p"},
      // The longest texts, with the marker, still fit 12 bytes.
      {ChessMove::make(36, 43, PAWN, PAWN, 0, MOVE_EN_PASSANT | MOVE_MATE), "e5xd6 e.p #"},
      {ChessMove::make(52, 59, PAWN, ROOK, QUEEN, MOVE_CHECK), "e7xd8=Q +"},
      // A malformed word (a book file may hold any) is cut to fit.
      {ChessMove::make(1, 18, KNIGHT, PAWN, QUEEN, MOVE_EN_PASSANT | MOVE_CHECK), "Nb1xc3 e.p="},
  };
  for (const auto& c : cases) {
    char out[12];
    memset(out, '#', sizeof out);
    c.move.text(out);
    EXPECT_STREQ(out, c.text);
  }
}

TEST(MoveText, ShortAlgebraic) {
  // En passant is written like any pawn capture, to fit the record. Rivals
  // on other files: the file; on the same file: the rank; on both: file
  // and rank. A pinned rival still counts.
  const char* const KNIGHTS = "1n2k3/8/5n2/8/8/8/8/4K3 b - - 0 1";
  const char* const ROOKS = "4k3/8/8/R7/8/8/8/R3K3 w - - 0 1";
  const char* cases[][3] = {
      {START, "e2e4", "e4"},
      {START, "g1f3", "Nf3"},
      {CASTLES, "e1g1", "O-O"},
      {CASTLES, "e1c1", "O-O-O"},
      {"4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", "e5d6", "exd6"},
      {"3r3k/4P3/8/8/8/8/8/4K3 w - - 0 1", "e7d8n", "exd8=N"},
      {"4k3/P7/8/8/8/8/8/4K3 w - - 0 1", "a7a8q", "a8=Q"},
      {KNIGHTS, "b8d7", "Nbd7"},
      {KNIGHTS, "f6d7", "Nfd7"},
      {ROOKS, "a1a3", "R1a3"},
      {ROOKS, "a5a3", "R5a3"},
      {"4k3/8/8/8/8/8/4K3/R6R w - - 0 1", "a1d1", "Rad1"},
      {"1k6/8/8/8/4Q2Q/8/8/K6Q w - - 0 1", "h4e1", "Qh4e1"},
      {"4k3/8/8/7b/8/5N2/8/1N1K4 w - - 0 1", "b1d2", "Nbd2"},
      {"1k1r4/4P3/8/8/4Q2Q/8/8/K6Q w - - 0 1", "e7d8q", "exd8=Q"},
  };
  for (const auto& c : cases) {
    auto board = boardAt(c[0]);
    char out[12];
    memset(out, '#', sizeof out);
    findMove(board->currentNode, c[1]).textShort(out, board->legalMoves, board->legalMoveCount);
    EXPECT_STREQ(out, c[2]) << c[0];
    EXPECT_LE(strlen(out), 7u);  // the game record's field
  }
}

TEST(MoveText, ReadsShortAlgebraic) {
  // The expected move as coordinates (the list's own word); "" for a
  // refused text, which must leave the output alone.
  const char* const KNIGHTS = "4k3/8/8/4N3/8/8/8/4K1N1 w - - 0 1";
  const char* const CAPTURE = "4k3/8/8/3p4/8/2N5/8/4K3 w - - 0 1";
  const char* const PROMOTION = "3r3k/4P3/8/8/8/8/8/4K3 w - - 0 1";
  const char* const PINNED = "3rk3/8/8/8/7N/8/3N4/3K4 w - - 0 1";  // the d2 knight, listed first
  const char* const BLACK_CASTLES = "r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1";
  const char* const G1_ATTACKED = "r3k2r/8/8/8/8/8/6r1/R3K2R w KQkq - 0 1";
  const char* cases[][3] = {
      // Suffixes ignored; upper-case P is no piece; short and cut texts are
      // refused without reading past their end.
      {START, "e4", "e2e4"},
      {START, "Nf3+", "g1f3"},
      {START, "e4!", "e2e4"},
      {START, "Ngf3", "g1f3"},
      {START, "e5", ""},
      {START, "Nf4", ""},
      {START, "Pe4", ""},
      {START, "nf3", ""},
      {START, "O-O", ""},
      {START, "", ""},
      {START, "N", ""},
      {START, "e", ""},
      {START, "Nf", ""},
      {START, "Nx", ""},
      {START, "=", ""},
      {START, "e8=", ""},
      {START, "N1", ""},
      {START, "Nbx", ""},
      // Disambiguation by file, rank or both (three queens reach e1);
      // without it the first listed move.
      {KNIGHTS, "N1f3", "g1f3"},
      {KNIGHTS, "N5f3", "e5f3"},
      {KNIGHTS, "Nef3", "e5f3"},
      {KNIGHTS, "Nf3", "g1f3"},
      {"1k6/8/8/8/4Q2Q/8/8/K6Q w - - 0 1", "Qh4e1", "h4e1"},
      {"1k6/8/8/8/4Q2Q/8/8/K6Q w - - 0 1", "Qh1xe1", "h1e1"},
      {"1k6/8/8/8/4Q3/8/8/K6Q w - - 0 1", "Qh4e1", ""},
      // A capture sign onto an empty square adds nothing, a capture
      // without the sign still captures, en passant gets its own word.
      {CAPTURE, "Nxe4", "c3e4"},
      {CAPTURE, "Nd5", "c3d5"},
      {"4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", "exd6", "e5d6"},
      // "=" and N, B, R or Q gives that piece, and so does the letter
      // alone; no letter a queen. A letter after any other move is ignored.
      {PROMOTION, "e8=N", "e7e8n"},
      {PROMOTION, "e8N", "e7e8n"},
      {PROMOTION, "exd8R+", "e7d8r"},
      {"4k3/8/8/8/8/8/1p6/R3K3 b - - 0 1", "bxa1B", "b2a1b"},
      {START, "e4N", "e2e4"},
      {PROMOTION, "e8=B", "e7e8b"},
      {PROMOTION, "e8=R", "e7e8r"},
      {PROMOTION, "e8=Q+", "e7e8q"},
      {PROMOTION, "e8", "e7e8q"},
      {PROMOTION, "exd8=N", "e7d8n"},
      {PROMOTION, "e8=q", ""},
      {PROMOTION, "e8=K", ""},
      // Only legal moves; castling only when listed and legal.
      {PINNED, "Nf3", "h4f3"},
      {PINNED, "Nb3", ""},
      {CASTLES, "O-O", "e1g1"},
      {CASTLES, "O-O-O", "e1c1"},
      {BLACK_CASTLES, "O-O", "e8g8"},
      {BLACK_CASTLES, "O-O-O", "e8c8"},
      {"r3k2r/8/8/8/8/8/8/R3K2R w - - 0 1", "O-O", ""},
      {"r3k2r/8/8/8/8/8/8/R3KB1R w KQkq - 0 1", "O-O", ""},
      {G1_ATTACKED, "O-O", ""},
      {G1_ATTACKED, "O-O-O", "e1c1"},
      // Castling with check and annotation signs, or with zeros; nothing
      // else may follow it.
      {CASTLES, "O-O-O#", "e1c1"},
      {BLACK_CASTLES, "0-0-0+", "e8c8"},
      {CASTLES, "O-0", ""},
      {CASTLES, "O-O-O-O", ""},
      {CASTLES, "O-Ox", ""},
      {CASTLES, "O", ""},
  };
  for (const auto& c : cases) {
    auto board = boardAt(c[0]);
    std::string text(c[1]);
    ChessMove m = 0xdeadbeef;
    EXPECT_EQ(board->createMove(&text[0], m), *c[2] ? 1 : 0) << c[1];
    EXPECT_EQ(m, *c[2] ? findMove(board->currentNode, c[2]) : ChessMove(0xdeadbeef)) << c[1];
  }
}
