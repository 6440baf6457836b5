// The Mersenne Twister against its published figures and the standard
// library's engine, and the key set drawn from it: drawing order, one set in
// every build, and the key of a position.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>

#include "engine/zobrist.h"
#include "tests/support/test_board.h"

namespace {

u64 drawPair() {
  u64 high = (u64)genrand_int32();
  return (high << 32) | (u64)genrand_int32();
}

}  // namespace

TEST(MersenneTwister, PublishedOutputs) {
  unsigned long key[4] = {0x123, 0x234, 0x345, 0x456};
  init_by_array(key, 4);
  for (unsigned long e : {1067595299UL, 955945823UL, 477289528UL, 4107218783UL, 4228976476UL})
    EXPECT_EQ(genrand_int32(), e);
  for (int i = 5; i < 1000; i++) genrand_int32();
  EXPECT_NEAR(genrand_real2(), 0.76275443, 5e-9);  // the 1001st output, as a real in [0,1)
  // init_genrand seeds the same generator as std::mt19937.
  for (unsigned long seed : {5489UL, 0xdeadbeefUL}) {
    std::mt19937 reference((std::mt19937::result_type)seed);
    init_genrand(seed);
    for (int i = 0; i < 1000; i++) ASSERT_EQ(genrand_int32(), (unsigned long)reference()) << i;
    const unsigned long a = reference(), b = reference(), c = reference();
    EXPECT_EQ(genrand_int31(), (long)(a >> 1));
    EXPECT_DOUBLE_EQ(genrand_real1(), b / 4294967295.0);
    EXPECT_DOUBLE_EQ(genrand_real3(), (c + 0.5) / 4294967296.0);
    const double r = genrand_res53();
    EXPECT_TRUE(r >= 0.0 && r < 1.0);
  }
}

TEST(ZobristKeys, DrawingOrderAndOneSetInEveryBuild) {
  std::unique_ptr<Zobrist> z(new Zobrist());
  EXPECT_EQ(z->pieceKeys, nullptr);
  ASSERT_EQ(z->init(), 1);
  // Redraw the stream: 781 keys, then keys 544 and 465 drawn again. Drawn
  // colour-major (black pawn .. king, white pawn .. king), stored by piece
  // type with the colours interleaved.
  unsigned long seed[4] = {0x654, 0x543, 0x432, 0x321};
  init_by_array(seed, 4);
  std::vector<u64> drawn(781);
  for (u64& k : drawn) k = drawPair();
  drawn[544] = drawPair();
  drawn[465] = drawPair();
  for (unsigned c = 0; c < 2; c++)
    for (unsigned t = 1; t <= 6; t++)
      for (unsigned s = 0; s < 64; s++) {
        ASSERT_EQ(z->pieceKey(c, t, s), drawn[(c * 6 + t - 1) * 64 + s]);
        ASSERT_EQ(z->pieceKeys[(2 * (t - 1) + c) * 64 + s], z->pieceKey(c, t, s));
      }
  for (unsigned f = 0; f < 8; f++) EXPECT_EQ(z->epKeys[f], drawn[768 + f]);
  for (unsigned b = 0; b < 4; b++) EXPECT_EQ(z->castleKeys[b], drawn[776 + b]);
  EXPECT_EQ(z->sideKey, drawn[780]);
  EXPECT_EQ(z->castleCombo[CASTLE_WK | CASTLE_BQ], z->castleKeys[0] ^ z->castleKeys[3]);
  // Book files hold these keys: the first one pinned in the printed form.
  char text[17];
  Zobrist::hashText(z->pieceKeys[0], text);
  EXPECT_STREQ(text, "5564037c97755317");

  // A second init keeps the keys without drawing; free then init draws the
  // same keys again; a copy has its own keys.
  const u64 first = z->pieceKeys[100];
  init_genrand(1);
  const unsigned long next = genrand_int32();
  init_genrand(1);
  EXPECT_EQ(z->init(), 1);
  EXPECT_EQ(genrand_int32(), next);
  Zobrist copy(*z);
  EXPECT_EQ(copy.pieceKeys, copy.keyStore);
  z->free();
  EXPECT_EQ(z->pieceKeys, nullptr);
  EXPECT_EQ(copy.pieceKeys[100], first);
  EXPECT_EQ(z->init(), 1);
  EXPECT_EQ(z->pieceKeys[100], first);
}

TEST(ZobristKeys, KeyOfAPosition) {
  auto board = newTestBoard();
  ChessBoardNode& node = board->currentNode;
  const Zobrist& z = node.zobrist;
  const unsigned back[8] = {ROOK, KNIGHT, BISHOP, QUEEN, KING, BISHOP, KNIGHT, ROOK};
  u64 key = z.castleCombo[15];
  for (unsigned f = 0; f < 8; f++) {
    key ^= z.pieceKey(WHITE, back[f], f) ^ z.pieceKey(WHITE, PAWN, 8 + f);
    key ^= z.pieceKey(BLACK, back[f], 56 + f) ^ z.pieceKey(BLACK, PAWN, 48 + f);
  }
  EXPECT_EQ(node.hashKey, key);
  // Black to move adds the side key; castle rights and en passant enter by
  // their own keys.
  ASSERT_EQ(setFen(*board, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b Kq - 0 1"), 1);
  EXPECT_EQ(node.hashKey, key ^ z.sideKey ^ z.castleKeys[1] ^ z.castleKeys[2]);
  ASSERT_EQ(setFen(*board, "rnbqkbnr/ppp1pppp/8/8/3pP3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1"), 1);
  const u64 withEp = node.hashKey;
  node.enPassantFile = 0;
  EXPECT_EQ(node.createHashKey(), withEp ^ z.epKeys[4]);
}
