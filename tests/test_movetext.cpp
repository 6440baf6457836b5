// Move text: long algebraic, short algebraic with disambiguation, and the
// reader of short algebraic text.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/support/test_board.h"

namespace {

std::unique_ptr<TestBoard> boardAt(const char* fen) {
  auto board = newTestBoard();
  std::string text(fen);
  EXPECT_EQ(board->setFENPosition(&text[0]), 1) << fen;
  return board;
}

// The listed move of the position with these squares (and promotion).
ChessMove listed(TestBoard& board, const char* from, const char* to, unsigned promotion = 0) {
  unsigned f = (unsigned)(from[0] - 'a') + 8u * (unsigned)(from[1] - '1');
  unsigned t = (unsigned)(to[0] - 'a') + 8u * (unsigned)(to[1] - '1');
  for (u32 i = 0; i < board.legalMoveCount; i++) {
    ChessMove m = board.legalMoves[i].move;
    if (m.from() == f && m.to() == t && (promotion == 0 || m.promotion() == promotion)) return m;
  }
  ADD_FAILURE() << "no listed move " << from << to;
  return 0;
}

std::string longText(ChessMove m) {
  char out[12];
  memset(out, '#', sizeof(out));
  m.text(out);
  return out;
}

std::string shortText(TestBoard& board, ChessMove m) {
  char out[12];
  memset(out, '#', sizeof(out));
  m.textShort(out, board.legalMoves, board.legalMoveCount);
  return out;
}

// createMove's result, or 0 when it refuses; a refusal must leave the
// output alone.
ChessMove parse(TestBoard& board, const char* text) {
  std::string t(text);
  ChessMove m = 0xdeadbeef;
  if (!board.createMove(&t[0], m)) {
    EXPECT_EQ(m, 0xdeadbeefu) << text;
    return 0;
  }
  return m;
}

}  // namespace

TEST(MoveText, LongAlgebraic) {
  EXPECT_EQ(longText(0), "empty");
  EXPECT_EQ(longText(ChessMove::make(12, 28, PAWN, 0, 0, MOVE_DOUBLE_PUSH)), "e2-e4");
  EXPECT_EQ(longText(ChessMove::make(6, 21, KNIGHT)), "Ng1-f3");
  EXPECT_EQ(longText(ChessMove::make(4, 12, KING)), "Ke1-e2");
  EXPECT_EQ(longText(ChessMove::make(36, 43, PAWN, PAWN, 0, MOVE_EN_PASSANT)), "e5xd6 e.p");
  EXPECT_EQ(longText(ChessMove::make(52, 60, PAWN, 0, QUEEN)), "e7-e8=Q");
  EXPECT_EQ(longText(ChessMove::make(52, 59, PAWN, QUEEN, KNIGHT)), "e7xd8=N");
  EXPECT_EQ(longText(ChessMove(0x206184)), "O-O");
  EXPECT_EQ(longText(ChessMove(0x206EBC)), "O-O-O");
  EXPECT_EQ(longText(ChessMove(0x206184 | MOVE_CHECK)), "O-O");
  // The longest texts, with the marker, still fit 12 bytes.
  EXPECT_EQ(longText(ChessMove::make(36, 43, PAWN, PAWN, 0, MOVE_EN_PASSANT | MOVE_MATE)),
            "e5xd6 e.p #");
  EXPECT_EQ(longText(ChessMove::make(52, 59, PAWN, ROOK, QUEEN, MOVE_CHECK)), "e7xd8=Q +");
}

TEST(MoveText, ShortAlgebraic) {
  auto board = newTestBoard();
  EXPECT_EQ(shortText(*board, 0), "empty");
  EXPECT_EQ(shortText(*board, listed(*board, "e2", "e4")), "e4");
  EXPECT_EQ(shortText(*board, listed(*board, "g1", "f3")), "Nf3");
  EXPECT_EQ(shortText(*board, ChessMove(0x206184)), "O-O");
  EXPECT_EQ(shortText(*board, ChessMove(0x206084 | MOVE_MATE)), "O-O-O");

  board = boardAt("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1");
  // En passant is written like any pawn capture, so that it fits the
  // game record's 8 bytes.
  EXPECT_EQ(shortText(*board, listed(*board, "e5", "d6")), "exd6");
  board = boardAt("3r3k/4P3/8/8/8/8/8/4K3 w - - 0 1");
  EXPECT_EQ(shortText(*board, listed(*board, "e7", "d8", KNIGHT)), "exd8=N");
  board = boardAt("4k3/P7/8/8/8/8/8/4K3 w - - 0 1");
  EXPECT_EQ(shortText(*board, listed(*board, "a7", "a8", QUEEN)), "a8=Q");
}

TEST(MoveText, ShortAlgebraicDisambiguation) {
  // Knights on b8 and f6 both reach d7: different files, so the file.
  auto board = boardAt("1n2k3/8/5n2/8/8/8/8/4K3 b - - 0 1");
  EXPECT_EQ(shortText(*board, listed(*board, "b8", "d7")), "Nbd7");
  EXPECT_EQ(shortText(*board, listed(*board, "f6", "d7")), "Nfd7");
  // Rooks on a1 and a5 both reach a3: same file, so the rank.
  board = boardAt("4k3/8/8/R7/8/8/8/R3K3 w - - 0 1");
  EXPECT_EQ(shortText(*board, listed(*board, "a1", "a3")), "R1a3");
  EXPECT_EQ(shortText(*board, listed(*board, "a5", "a3")), "R5a3");
  // Rooks on a1 and h1 both reach d1... with the king on e2.
  board = boardAt("4k3/8/8/8/8/8/4K3/R6R w - - 0 1");
  EXPECT_EQ(shortText(*board, listed(*board, "a1", "d1")), "Rad1");
  // Three queens on h4, e4 and h1 reach e1: both file and rank.
  board = boardAt("1k6/8/8/8/4Q2Q/8/8/K6Q w - - 0 1");
  EXPECT_EQ(shortText(*board, listed(*board, "h4", "e1")), "Qh4e1");
  // A pinned rival still counts: the knight on f3 is pinned by the bishop.
  board = boardAt("4k3/8/8/7b/8/5N2/8/1N1K4 w - - 0 1");
  EXPECT_EQ(shortText(*board, listed(*board, "b1", "d2")), "Nbd2");
  // The longest short texts fit the record's 7 characters.
  board = boardAt("1k1r4/4P3/8/8/4Q2Q/8/8/K6Q w - - 0 1");
  EXPECT_LE(shortText(*board, listed(*board, "h4", "e1")).size(), 7u);
  EXPECT_LE(shortText(*board, listed(*board, "e7", "d8", QUEEN)).size(), 7u);
}

TEST(MoveText, ReadsPieceAndPawnMoves) {
  auto board = newTestBoard();
  EXPECT_EQ(parse(*board, "e4"), listed(*board, "e2", "e4"));
  EXPECT_EQ(parse(*board, "Nf3"), listed(*board, "g1", "f3"));
  EXPECT_EQ(parse(*board, "Nf3+"), listed(*board, "g1", "f3"));   // suffixes ignored
  EXPECT_EQ(parse(*board, "e4!"), listed(*board, "e2", "e4"));
  EXPECT_EQ(parse(*board, "Ngf3"), listed(*board, "g1", "f3"));
  EXPECT_EQ(parse(*board, "e5"), 0u);      // no pawn reaches e5
  EXPECT_EQ(parse(*board, "Nf4"), 0u);
  EXPECT_EQ(parse(*board, "Pe4"), 0u);     // upper-case P is no piece
  EXPECT_EQ(parse(*board, "nf3"), 0u);
  EXPECT_EQ(parse(*board, "O-O"), 0u);     // not in the list
  EXPECT_EQ(parse(*board, "O-O+"), 0u);
  // Short and cut texts are refused without reading past their end.
  for (const char* text : {"", "N", "e", "Nf", "Nx", "x", "=", "e8=", "N1", "Nbx"})
    EXPECT_EQ(parse(*board, text), 0u) << "'" << text << "'";
}

TEST(MoveText, ReadsDisambiguationAndCaptures) {
  // Knights on g1 and e5 both reach f3.
  auto board = boardAt("4k3/8/8/4N3/8/8/8/4K1N1 w - - 0 1");
  EXPECT_EQ(parse(*board, "N1f3"), listed(*board, "g1", "f3"));
  EXPECT_EQ(parse(*board, "N5f3"), listed(*board, "e5", "f3"));
  EXPECT_EQ(parse(*board, "Nef3"), listed(*board, "e5", "f3"));
  EXPECT_EQ(parse(*board, "Nf3"), listed(*board, "g1", "f3"));   // first in the list
  // Qh4e1 reads as a queen move to h4 (the h1 queen comes first).
  board = boardAt("1k6/8/8/8/4Q3/8/8/K6Q w - - 0 1");
  EXPECT_EQ(parse(*board, "Qh4e1"), listed(*board, "h1", "h4"));
  // The list's own word: a capture sign onto an empty square adds nothing,
  // a capture without the sign still captures.
  board = boardAt("4k3/8/8/3p4/8/2N5/8/4K3 w - - 0 1");
  ChessMove m = parse(*board, "Nxe4");
  EXPECT_EQ(m, listed(*board, "c3", "e4"));
  EXPECT_EQ(m.captured(), 0u);
  m = parse(*board, "Nd5");
  EXPECT_EQ(m.captured(), (unsigned)PAWN);
  // En passant gives the list's en-passant word.
  board = boardAt("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1");
  m = parse(*board, "exd6");
  EXPECT_EQ(m, listed(*board, "e5", "d6"));
  EXPECT_TRUE(m.isEnPassant());
  EXPECT_EQ(m.captured(), (unsigned)PAWN);
}

TEST(MoveText, ReadsPromotions) {
  auto board = boardAt("3r3k/4P3/8/8/8/8/8/4K3 w - - 0 1");
  EXPECT_EQ(parse(*board, "e8=N").promotion(), (unsigned)KNIGHT);
  EXPECT_EQ(parse(*board, "e8=B").promotion(), (unsigned)BISHOP);
  EXPECT_EQ(parse(*board, "e8=R").promotion(), (unsigned)ROOK);
  EXPECT_EQ(parse(*board, "e8=Q+").promotion(), (unsigned)QUEEN);
  EXPECT_EQ(parse(*board, "e8").promotion(), (unsigned)QUEEN);   // no "=": a queen
  EXPECT_EQ(parse(*board, "exd8=N"), listed(*board, "e7", "d8", KNIGHT));
  EXPECT_EQ(parse(*board, "e8=q"), 0u);
  EXPECT_EQ(parse(*board, "e8=K"), 0u);
  EXPECT_EQ(parse(*board, "e8="), 0u);
}

TEST(MoveText, ReadsOnlyLegalMovesAndCastles) {
  // The knight on d2, listed first, is pinned by the rook on d8: Nf3 is the
  // h4 knight's move.
  auto board = boardAt("3rk3/8/8/8/7N/8/3N4/3K4 w - - 0 1");
  EXPECT_EQ(parse(*board, "Nf3"), listed(*board, "h4", "f3"));
  EXPECT_EQ(parse(*board, "Nb3"), 0u);
  // Castling only when the move is listed and legal.
  board = boardAt("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
  EXPECT_EQ(parse(*board, "O-O"), ChessMove(0x206184));
  EXPECT_EQ(parse(*board, "O-O-O"), ChessMove(0x206084));
  board = boardAt("r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1");
  EXPECT_EQ(parse(*board, "O-O"), ChessMove(0x206FBC));
  EXPECT_EQ(parse(*board, "O-O-O"), ChessMove(0x206EBC));
  board = boardAt("r3k2r/8/8/8/8/8/8/R3K2R w - - 0 1");       // no rights
  EXPECT_EQ(parse(*board, "O-O"), 0u);
  board = boardAt("r3k2r/8/8/8/8/8/8/R3KB1R w KQkq - 0 1");   // blocked
  EXPECT_EQ(parse(*board, "O-O"), 0u);
  EXPECT_EQ(parse(*board, "O-O-O"), ChessMove(0x206084));
  board = boardAt("r3k2r/8/8/8/8/8/6r1/R3K2R w KQkq - 0 1");  // g1 attacked
  EXPECT_EQ(parse(*board, "O-O"), 0u);
  EXPECT_EQ(parse(*board, "O-O-O"), ChessMove(0x206084));
}
