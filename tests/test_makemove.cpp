// Make and unmake: whole-tree walks over positions rich in castling, en
// passant and promotions (every make keeps the key and the sums equal to a
// fresh computation, every unmake restores every field), the single rules of
// make, and the refusals that keep the stacks within their bounds.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "engine/bitboard.h"
#include "engine/pst.h"
#include "tests/support/test_board.h"

namespace {

int setFen(TestBoard& board, const char* fen) {
  std::string text(fen);
  return board.setFENPosition(&text[0]);
}

unsigned sq(const char* name) { return (unsigned)(name[0] - 'a') + 8u * (unsigned)(name[1] - '1'); }

// Every field that make and unmake may touch.
struct Fields {
  u64 bbAllPiece, bbColorPiece[2], bbPiece[14], hashKey;
  i32 material[2];
  u32 sideToMove, opponent;
  i32 gamePhase, phaseSum[2], pstMiddlegame[2], pstEndgame[2];
  u8 castleRights, enPassantFile, halfMoveClock, nodeState, pieceCount[14], pieceArray[64],
      kingSquare[2];
  u32 hashHistoryCount, undoCount;
  std::vector<u64> history;   // the keys in use
};

Fields snapshot(const ChessBoardNode& n) {
  Fields f;
  f.bbAllPiece = n.bbAllPiece;
  memcpy(f.bbColorPiece, n.bbColorPiece, sizeof f.bbColorPiece);
  memcpy(f.bbPiece, n.bbPiece, sizeof f.bbPiece);
  f.hashKey = n.hashKey;
  memcpy(f.material, n.material, sizeof f.material);
  f.sideToMove = n.sideToMove;
  f.opponent = n.opponent;
  f.gamePhase = n.gamePhase;
  memcpy(f.phaseSum, n.phaseSum, sizeof f.phaseSum);
  memcpy(f.pstMiddlegame, n.pstMiddlegame, sizeof f.pstMiddlegame);
  memcpy(f.pstEndgame, n.pstEndgame, sizeof f.pstEndgame);
  f.castleRights = n.castleRights;
  f.enPassantFile = n.enPassantFile;
  f.halfMoveClock = n.halfMoveClock;
  f.nodeState = n.nodeState;
  memcpy(f.pieceCount, n.pieceCount, sizeof f.pieceCount);
  memcpy(f.pieceArray, n.pieceArray, sizeof f.pieceArray);
  memcpy(f.kingSquare, n.kingSquare, sizeof f.kingSquare);
  f.hashHistoryCount = n.hashHistoryCount;
  f.undoCount = n.undoCount;
  f.history.assign(n.hashHistory, n.hashHistory + std::min(n.hashHistoryCount, HASH_HISTORY_SIZE));
  return f;
}

// Names of the fields that differ; empty when the two are equal.
std::string differences(const Fields& a, const Fields& b) {
  std::ostringstream out;
#define FIELD(name) \
  if (memcmp(&a.name, &b.name, sizeof a.name) != 0) out << #name " ";
  FIELD(bbAllPiece) FIELD(bbColorPiece) FIELD(bbPiece) FIELD(hashKey) FIELD(material)
  FIELD(sideToMove) FIELD(opponent) FIELD(gamePhase) FIELD(phaseSum) FIELD(pstMiddlegame)
  FIELD(pstEndgame) FIELD(castleRights) FIELD(enPassantFile) FIELD(halfMoveClock)
  FIELD(nodeState) FIELD(pieceCount) FIELD(pieceArray) FIELD(kingSquare)
  FIELD(hashHistoryCount) FIELD(undoCount)
#undef FIELD
  if (a.history != b.history) out << "hashHistory ";
  return out.str();
}

// The sums that make keeps incrementally, computed from the placement.
::testing::AssertionResult sumsAgreeWithPlacement(const ChessBoardNode& n) {
  i32 material[2] = {0, 0}, phase[2] = {0, 0}, mg[2] = {0, 0}, eg[2] = {0, 0};
  for (unsigned s = 0; s < 64; s++) {
    unsigned t = n.pieceArray[s];
    if (!t) continue;
    unsigned c = (n.bbColorPiece[WHITE] >> s) & 1;
    material[c] += PieceCaptureValue[t];
    phase[c] += PieceGamePhaseValue[t];
    mg[c] += piece_square_table_middlegame[c][t][s];
    eg[c] += piece_square_table_endgame[c][t][s];
    if (t == KING && n.kingSquare[c] != s) return ::testing::AssertionFailure() << "kingSquare";
  }
  for (int c = 0; c < 2; c++) {
    if (material[c] != n.material[c]) return ::testing::AssertionFailure() << "material";
    if (phase[c] != n.phaseSum[c]) return ::testing::AssertionFailure() << "phaseSum";
    if (mg[c] != n.pstMiddlegame[c]) return ::testing::AssertionFailure() << "pstMiddlegame";
    if (eg[c] != n.pstEndgame[c]) return ::testing::AssertionFailure() << "pstEndgame";
  }
  if (n.gamePhase != gamePhaseOf(phase[0] + phase[1]))
    return ::testing::AssertionFailure() << "gamePhase";
  if (n.bbAllPiece != (n.bbColorPiece[0] | n.bbColorPiece[1]) ||
      (n.bbColorPiece[0] & n.bbColorPiece[1]))
    return ::testing::AssertionFailure() << "colour boards";
  if (n.opponent != (n.sideToMove ^ 1)) return ::testing::AssertionFailure() << "opponent";
  return ::testing::AssertionSuccess();
}

struct WalkCounts {
  u64 made = 0, legal = 0, captures = 0, enPassant = 0, castles = 0, promotions = 0;
};

// Makes every move of every position of the tree to the given depth and
// checks each make and each unmake.
void walk(ChessBoardNode& node, int depth, WalkCounts& counts) {
  ChessMoveSort list[MAX_MOVES];
  unsigned n = 0;
  node.generateMoves(list, &n, node.inCheck());
  const Fields before = snapshot(node);
  for (unsigned i = 0; i < n; i++) {
    const ChessMove m = list[i].move;
    const u64 keyBefore = node.hashKey;
    const int legal = node.makeMove(m);
    counts.made++;
    ASSERT_EQ(node.hashKey, node.createHashKey()) << "after " << m.move;
    ASSERT_EQ(node.hashHistory[node.hashHistoryCount - 1], keyBefore);
    ASSERT_EQ(node.testBoard(), 0) << "after " << m.move;
    ASSERT_TRUE(sumsAgreeWithPlacement(node)) << "after " << m.move;
    // Legal exactly when the mover's king is not attacked afterwards.
    ASSERT_EQ(legal, !node.isAttacked(node.kingSquare[node.opponent], (int)node.sideToMove));
    if (legal) {
      counts.legal++;
      counts.captures += m.captured() != 0;
      counts.enPassant += m.isEnPassant();
      counts.castles += m.isCastle();
      counts.promotions += m.promotion() != 0;
      if (depth > 1) walk(node, depth - 1, counts);
      if (::testing::Test::HasFatalFailure()) return;
    }
    ASSERT_EQ(node.unMakeMove(m), 1);
    // The list was built before the moves were made; nodeState belongs to
    // the list builders, so compare it as it was after building.
    node.nodeState = before.nodeState;
    ASSERT_EQ(differences(before, snapshot(node)), "") << "after unmaking " << m.move;
  }
}

// Finds the generated move from a coordinate text such as "e1g1" or "b7a8q".
ChessMove findMove(ChessBoardNode& node, const char* text) {
  ChessMoveSort list[MAX_MOVES];
  unsigned n = 0;
  node.generateMoves(list, &n, node.inCheck());
  const unsigned from = sq(text), to = sq(text + 2);
  unsigned promotion = 0;
  if (text[4]) promotion = (unsigned)(strchr(pieceName, text[4]) - pieceName);
  for (unsigned i = 0; i < n; i++) {
    ChessMove m = list[i].move;
    if (m.from() == from && m.to() == to && m.promotion() == promotion) return m;
  }
  ADD_FAILURE() << "no move " << text;
  return 0;
}

class MakeMove : public ::testing::Test {
protected:
  void SetUp() override { board = newTestBoard(); }
  void set(const char* fen) { ASSERT_EQ(setFen(*board, fen), 1) << fen; }
  ChessBoardNode& node() { return board->currentNode; }
  // Makes a legal move of the position and returns it.
  ChessMove play(const char* text) {
    ChessMove m = findMove(node(), text);
    EXPECT_EQ(node().makeMove(m), 1) << text;
    return m;
  }
  std::unique_ptr<TestBoard> board;
};

struct WalkCase {
  const char* name;
  const char* fen;
  int depth;
  u64 legalMoves;   // legal moves made over the whole walk (perft sums)
};

}  // namespace

TEST_F(MakeMove, WalksRestoreEveryFieldAndKeepTheKey) {
  const WalkCase cases[] = {
      {"start", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 4,
       20 + 400 + 8902 + 197281},
      {"kiwipete", "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", 3,
       48 + 2039 + 97862},
      {"en passant and rook checks", "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", 4,
       14 + 191 + 2812 + 43238},
      {"promotions and castling", "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
       3, 6 + 264 + 9467},
      {"promotion by capture", "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8", 3,
       44 + 1486 + 62379},
      {"promotions both sides", "n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1", 3, 24 + 496 + 9483},
      {"en passant at once", "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3", 3, 0},
  };
  for (const WalkCase& c : cases) {
    SCOPED_TRACE(c.name);
    set(c.fen);
    WalkCounts counts;
    walk(node(), c.depth, counts);
    if (HasFatalFailure()) return;
    if (c.legalMoves) {
      EXPECT_EQ(counts.legal, c.legalMoves);
    }
    EXPECT_EQ(node().undoCount, 0u);
    EXPECT_EQ(node().hashHistoryCount, 0u);
  }
}

TEST_F(MakeMove, DoublePushOpensEnPassantForOneMove) {
  const u64 start = node().hashKey;
  ChessMove e4 = play("e2e4");
  EXPECT_TRUE(e4.isDoublePush());
  EXPECT_EQ(node().enPassantFile, 5);   // file e, though no black pawn can take
  u64 withFile = node().hashKey;
  node().enPassantFile = 0;
  EXPECT_EQ(withFile ^ node().createHashKey(), node().zobrist.epKeys[4]);
  node().enPassantFile = 5;
  ChessMove nf6 = play("g8f6");
  EXPECT_EQ(node().enPassantFile, 0);
  EXPECT_EQ(node().hashKey, node().createHashKey());
  EXPECT_EQ(node().halfMoveClock, 1);
  node().unMakeMove(nf6);
  EXPECT_EQ(node().enPassantFile, 5);
  EXPECT_EQ(node().hashKey, withFile);
  node().unMakeMove(e4);
  EXPECT_EQ(node().hashKey, start);
}

TEST_F(MakeMove, CastleRightsFollowKingsAndRooks) {
  set("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
  const Zobrist& z = node().zobrist;
  // Capturing the h8 rook takes black's king-side right and its key.
  u64 key = node().hashKey;
  ChessMove take = play("h1h8");
  EXPECT_EQ(take.captured(), (unsigned)ROOK);
  EXPECT_EQ(node().castleRights, CASTLE_WQ | CASTLE_BQ);   // the h1 rook left too
  EXPECT_EQ(node().hashKey ^ key,
            z.castleKeys[0] ^ z.castleKeys[2] ^ z.sideKey ^ z.pieceKey(WHITE, ROOK, sq("h1")) ^
                z.pieceKey(WHITE, ROOK, sq("h8")) ^ z.pieceKey(BLACK, ROOK, sq("h8")));
  node().unMakeMove(take);
  EXPECT_EQ(node().castleRights, 15);

  play("a1b1");   // the a1 rook: white queen side only
  EXPECT_EQ(node().castleRights, CASTLE_WK | CASTLE_BK | CASTLE_BQ);
  play("e8d8");   // a king move: both black rights
  EXPECT_EQ(node().castleRights, CASTLE_WK);
  key = node().hashKey;
  play("b1a1");   // the right is gone already: nothing changes but the move
  EXPECT_EQ(node().castleRights, CASTLE_WK);
  EXPECT_EQ(node().hashKey ^ key, z.sideKey ^ z.pieceKey(WHITE, ROOK, sq("b1")) ^
                                      z.pieceKey(WHITE, ROOK, sq("a1")));
}

TEST_F(MakeMove, CastlingMovesTheRook) {
  set("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
  ChessMove oo = play("e1g1");
  EXPECT_TRUE(oo.isCastle());
  EXPECT_EQ(node().pieceArray[sq("f1")], ROOK);
  EXPECT_EQ(node().pieceArray[sq("h1")], NOPIECE);
  EXPECT_EQ(node().pieceArray[sq("g1")], KING);
  EXPECT_EQ(node().kingSquare[WHITE], sq("g1"));
  EXPECT_EQ(node().castleRights, CASTLE_BK | CASTLE_BQ);
  ChessMove ooo = play("e8c8");
  EXPECT_EQ(node().pieceArray[sq("d8")], ROOK);
  EXPECT_EQ(node().pieceArray[sq("a8")], NOPIECE);
  EXPECT_TRUE(node().bbPiece[BLACK * 7 + ROOK] & (1ULL << sq("d8")));
  EXPECT_EQ(node().castleRights, 0);
  EXPECT_EQ(node().hashKey, node().createHashKey());
  node().unMakeMove(ooo);
  node().unMakeMove(oo);
  EXPECT_EQ(node().pieceArray[sq("h1")], ROOK);
  EXPECT_EQ(node().pieceArray[sq("a8")], ROOK);
  EXPECT_EQ(node().castleRights, 15);
}

TEST_F(MakeMove, EnPassantRemovesThePawnBehindTheTarget) {
  set("rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3");
  ChessMove ep = play("e5f6");
  EXPECT_TRUE(ep.isEnPassant());
  EXPECT_EQ(node().pieceArray[sq("f5")], NOPIECE);   // target minus 8
  EXPECT_EQ(node().pieceArray[sq("f6")], PAWN);
  EXPECT_EQ(node().pieceCount[BLACK * 7 + PAWN], 7);
  EXPECT_EQ(node().material[BLACK], 4075 - 100);
  node().unMakeMove(ep);
  EXPECT_EQ(node().pieceArray[sq("f5")], PAWN);

  set("rnbqkbnr/pppp1ppp/8/8/3Pp3/8/PPP1PPPP/RNBQKBNR b KQkq d3 0 2");
  ep = play("e4d3");
  EXPECT_EQ(node().pieceArray[sq("d4")], NOPIECE);   // target plus 8
  EXPECT_FALSE(node().bbAllPiece & (1ULL << sq("d4")));
  EXPECT_EQ(node().hashKey, node().createHashKey());
}

TEST_F(MakeMove, PromotionsChangeMaterialPhaseAndCounts) {
  set("r3k3/1P6/8/8/8/8/8/4K3 w - - 0 1");
  const i32 material = node().material[WHITE], phase = node().phaseSum[WHITE];
  ChessMove q = play("b7b8q");
  EXPECT_EQ(node().material[WHITE], material + 875);
  EXPECT_EQ(node().phaseSum[WHITE], phase + 4);
  EXPECT_EQ(node().pieceCount[WHITE * 7 + PAWN], 0);
  EXPECT_EQ(node().pieceCount[WHITE * 7 + QUEEN], 1);
  EXPECT_EQ(node().halfMoveClock, 0);
  node().unMakeMove(q);
  ChessMove takeN = play("b7a8n");
  EXPECT_EQ(node().material[WHITE], material - 100 + 325);
  EXPECT_EQ(node().material[BLACK], 0);
  EXPECT_EQ(node().pieceCount[BLACK * 7 + ROOK], 0);
  EXPECT_EQ(node().pieceCount[WHITE * 7 + KNIGHT], 1);
  EXPECT_EQ(node().castleRights, 0);
  node().unMakeMove(takeN);
  EXPECT_EQ(node().material[WHITE], material);
  EXPECT_EQ(node().pieceArray[sq("a8")], ROOK);
}

TEST_F(MakeMove, PhaseSumsBeyondTheTableGiveTheOpening) {
  // Phase weights 31 in all; a promotion lifts the sum past the table.
  set("rnbqkbnr/1P6/8/7r/3QB3/8/8/RNBQKBNR w - - 0 1");
  EXPECT_EQ(node().phaseSum[WHITE] + node().phaseSum[BLACK], 31);
  ChessMove m = play("b7c8q");
  EXPECT_EQ(node().phaseSum[WHITE] + node().phaseSum[BLACK], 34);
  EXPECT_EQ(node().gamePhase, 0);
  node().unMakeMove(m);
  EXPECT_EQ(node().gamePhase, 0);
}

TEST_F(MakeMove, FiftyMoveCounter) {
  set("4k3/8/8/8/8/8/4P3/R3K3 w - - 7 30");
  ASSERT_EQ(node().halfMoveClock, 7);
  play("a1a5");
  EXPECT_EQ(node().halfMoveClock, 8);
  play("e8d7");
  EXPECT_EQ(node().halfMoveClock, 9);
  play("e2e3");
  EXPECT_EQ(node().halfMoveClock, 0);
}

TEST_F(MakeMove, IllegalMoveIsMadeAndReported) {
  set("4k3/8/8/8/8/8/4r3/4K3 w - - 0 1");
  // The king may not step along the rook's rank; the move is made anyway.
  ChessMove m = findMove(node(), "e1d2");
  const Fields before = snapshot(node());
  EXPECT_EQ(node().makeMove(m), 0);
  EXPECT_EQ(node().sideToMove, (u32)BLACK);
  EXPECT_EQ(node().pieceArray[sq("d2")], KING);
  EXPECT_EQ(node().unMakeMove(m), 1);
  EXPECT_EQ(differences(before, snapshot(node())), "");
}

TEST_F(MakeMove, RefusedMovesChangeNothing) {
  const Fields before = snapshot(node());
  // No moving piece: the empty move, or a word whose piece field is 0 or 7.
  for (u32 word : {0u, 0x30Cu, 0x730Cu}) {
    EXPECT_EQ(node().makeMove(word), 0);
    EXPECT_EQ(node().unMakeMove(word), 0);
    EXPECT_EQ(differences(before, snapshot(node())), "") << word;
  }
  // Only the move on top of the undo stack can be taken back.
  ChessMove e4 = findMove(node(), "e2e4"), d4 = findMove(node(), "d2d4");
  EXPECT_EQ(node().unMakeMove(e4), 0);   // nothing made yet
  ASSERT_EQ(node().makeMove(e4), 1);
  const Fields after = snapshot(node());
  EXPECT_EQ(node().unMakeMove(d4), 0);
  EXPECT_EQ(differences(after, snapshot(node())), "");
  EXPECT_EQ(node().unMakeMove(e4), 1);
  EXPECT_EQ(differences(before, snapshot(node())), "");
}

TEST_F(MakeMove, FullStacksRefuseTheMove) {
  // Knights out and back: the position repeats, the stacks grow.
  const char* cycle[4] = {"g1f3", "g8f6", "f3g1", "f6g8"};
  std::vector<ChessMove> made;
  for (unsigned ply = 0; node().canMakeMove(); ply++) {
    ChessMove m = findMove(node(), cycle[ply % 4]);
    ASSERT_EQ(node().makeMove(m), 1) << ply;
    made.push_back(m);
  }
  EXPECT_EQ(made.size(), (size_t)std::min(UNDO_STACK_SIZE, HASH_HISTORY_SIZE));
  const Fields full = snapshot(node());
  ChessMove next = findMove(node(), cycle[made.size() % 4]);
  EXPECT_EQ(node().makeMove(next), 0);
  EXPECT_EQ(node().unMakeMove(next), 0);   // the caller's unmake is refused too
  EXPECT_EQ(differences(full, snapshot(node())), "");
  // Everything made can still be taken back.
  while (!made.empty()) {
    ASSERT_EQ(node().unMakeMove(made.back()), 1);
    made.pop_back();
  }
  EXPECT_EQ(node().hashKey, board->currentNode.createHashKey());
  EXPECT_EQ(node().undoCount, 0u);
}

TEST_F(MakeMove, ConsistencyCheckFindsFaults) {
  EXPECT_EQ(node().testBoard(), 0);
  // A knight on no bitboard: missing from all three boards, and it counts
  // as black material.
  node().pieceArray[sq("e4")] = KNIGHT;
  EXPECT_EQ(node().testBoard(), 4);
  node().pieceArray[sq("e4")] = 0;
  node().pieceCount[WHITE * 7 + PAWN] = 7;
  node().material[BLACK] += 1;
  node().kingSquare[WHITE] = sq("d1");
  EXPECT_EQ(node().testBoard(), 3);
}
