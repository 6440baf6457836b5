// The opening book: adding moves, the weighted probe, and the book file
// against bytes written out by hand in its little-endian layout.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "records/openingbook.h"
#include "tests/support/test_board.h"

namespace {

const u64 KEY_LOW = 0x0000000000000001ull;
const u64 KEY_HIGH = 0xF0E0D0C0B0A09080ull;   // above KEY_LOW only as unsigned

// The file of the book built by buildSample(), byte by byte.
const std::vector<u8> SAMPLE_FILE = {
    'B', 'O', 'O', 'K',                              // magic
    0x01, 0x00, 0x01, 0x00,                          // version 0x00010001
    0x02, 0x00, 0x00, 0x00,                          // 2 nodes
    // node 1: key 1, one move
    0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // key
    0x01, 0x00, 0x00, 0x00,                          // 1 move
    0xBC, 0x0A, 0x00, 0x00,                          //   move 0x00000ABC
    0x07, 0x00, 0x00, 0x00,                          //   7 games
    100, 0,                                          //   white 100 %, black 0 %
    // node 2: key 0xF0E0D0C0B0A09080, two moves by descending games
    0x80, 0x90, 0xA0, 0xB0, 0xC0, 0xD0, 0xE0, 0xF0,  // key
    0x02, 0x00, 0x00, 0x00,                          // 2 moves
    0x78, 0x56, 0x34, 0x00,                          //   move 0x00345678
    0x02, 0x01, 0x00, 0x00,                          //   258 games
    10, 80,
    0x34, 0x12, 0x00, 0x00,                          //   move 0x00001234
    0x02, 0x00, 0x00, 0x00,                          //   2 games
    50, 25,
};

// Builds, through addNode, the book that SAMPLE_FILE holds, but with its
// nodes and moves out of file order.
void buildSample(ChessOpeningBook& book) {
  book.addNode(KEY_HIGH, ChessMove(0x1234), 2, 50, 25);
  book.addNode(KEY_LOW, ChessMove(0xABC), 7, 100, 0);
  book.addNode(KEY_HIGH, ChessMove(0x345678), 258, 10, 80);
  book.addNode(KEY_HIGH, ChessMove(0x1234), 99, 1, 1);   // repeated: ignored
}

class BookFile : public ::testing::Test {
protected:
  std::string path;

  void SetUp() override {
    path = ::testing::TempDir() + "quarvel_book_" + std::to_string(getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".bin";
  }
  void TearDown() override { std::remove(path.c_str()); }

  void writeBytes(const std::vector<u8>& bytes) {
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    if (!bytes.empty()) {
      ASSERT_EQ(fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
    }
    ASSERT_EQ(fclose(f), 0);
  }

  std::vector<u8> readBytes() {
    std::vector<u8> bytes;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return bytes;
    int c;
    while ((c = fgetc(f)) != EOF) bytes.push_back(static_cast<u8>(c));
    fclose(f);
    return bytes;
  }
};

}  // namespace

TEST(BookNode, AddMoveKeepsFirstStatisticsAndAtMost16Moves) {
  ChessOpeningBookNode node{};
  EXPECT_EQ(node.addMove(ChessMove(5), 3, 40, 30), 1);
  EXPECT_EQ(node.addMove(ChessMove(5), 8, 1, 2), 1);
  ASSERT_EQ(node.count, 1u);
  EXPECT_EQ(node.moves[0].games, 3u);
  EXPECT_EQ(node.moves[0].whitePercent, 40);
  EXPECT_EQ(node.moves[0].blackPercent, 30);
  for (u32 m = 6; m < 21; m++) EXPECT_EQ(node.addMove(ChessMove(m), 1, 0, 0), 1);
  ASSERT_EQ(node.count, 16u);
  EXPECT_EQ(node.addMove(ChessMove(99), 1, 0, 0), 0);   // the seventeenth
  EXPECT_EQ(node.count, 16u);
  EXPECT_EQ(node.moves[15].move, ChessMove(20));
}

TEST(Book, ProbeFindsEveryKeyAndOnlyThose) {
  ChessOpeningBook book;
  EXPECT_EQ(book.findMove(KEY_LOW), ChessMove(0));
  // Keys added in ascending unsigned order, the largest with its top bit set.
  std::vector<u64> keys = {3, 10, 11, 500, 0x7FFFFFFFFFFFFFFFull, 0x8000000000000000ull,
                           0xFFFFFFFFFFFFFFFFull};
  for (size_t i = 0; i < keys.size(); i++) book.addNode(keys[i], ChessMove(100 + i), 1, 0, 0);
  for (size_t i = 0; i < keys.size(); i++) {
    EXPECT_EQ(book.findMove(keys[i]), ChessMove(100 + i)) << keys[i];
    ASSERT_NE(book.findPositionFast(keys[i]), nullptr);
    EXPECT_EQ(book.findPositionFast(keys[i]), book.findPosition(keys[i]));
  }
  for (u64 absent : {0ull, 4ull, 12ull, 0x8000000000000001ull, 0xFFFFFFFFFFFFFFFEull}) {
    EXPECT_EQ(book.findMove(absent), ChessMove(0)) << absent;
    EXPECT_EQ(book.findPositionFast(absent), nullptr);
    EXPECT_EQ(book.findPosition(absent), nullptr);
  }
}

TEST(Book, WeightedChoiceFollowsTheGameCounts) {
  ChessOpeningBook book;
  book.addNode(KEY_LOW, ChessMove(1), 3, 0, 0);
  book.addNode(KEY_LOW, ChessMove(2), 1, 0, 0);
  srand(12345);
  int first = 0, second = 0;
  for (int i = 0; i < 8000; i++) {
    ChessMove m = book.findMove(KEY_LOW);
    if (m == ChessMove(1)) first++;
    if (m == ChessMove(2)) second++;
  }
  EXPECT_EQ(first + second, 8000);
  EXPECT_NEAR(static_cast<double>(first) / second, 3.0, 0.4);
}

TEST(Book, EntriesWithoutGamesAreNeverChosen) {
  ChessOpeningBook book;
  book.addNode(KEY_LOW, ChessMove(1), 0, 0, 0);
  book.addNode(KEY_LOW, ChessMove(2), 2, 0, 0);
  book.addNode(KEY_LOW, ChessMove(3), 0, 0, 0);
  book.addNode(KEY_HIGH, ChessMove(4), 0, 0, 0);
  book.addNode(KEY_HIGH, ChessMove(5), 0, 0, 0);
  for (int i = 0; i < 200; i++) {
    EXPECT_EQ(book.findMove(KEY_LOW), ChessMove(2));
    EXPECT_EQ(book.findMove(KEY_HIGH), ChessMove(0));
  }
  // Counts near the 32-bit limit add up without wrapping.
  ChessOpeningBook big;
  big.addNode(KEY_LOW, ChessMove(7), 0xFFFFFFFFu, 0, 0);
  big.addNode(KEY_LOW, ChessMove(8), 0xFFFFFFFFu, 0, 0);
  for (int i = 0; i < 50; i++) {
    ChessMove m = big.findMove(KEY_LOW);
    EXPECT_TRUE(m == ChessMove(7) || m == ChessMove(8));
  }
}

TEST_F(BookFile, HandWrittenFileIsReadAndProbed) {
  writeBytes(SAMPLE_FILE);
  ChessOpeningBook book;
  ASSERT_EQ(book.load(path), 1);
  ASSERT_EQ(book.nodes.size(), 2u);
  const ChessOpeningBookNode& low = book.nodes[0];
  EXPECT_EQ(low.key, KEY_LOW);
  ASSERT_EQ(low.count, 1u);
  EXPECT_EQ(low.moves[0].move, ChessMove(0xABC));
  EXPECT_EQ(low.moves[0].games, 7u);
  EXPECT_EQ(low.moves[0].whitePercent, 100);
  EXPECT_EQ(low.moves[0].blackPercent, 0);
  const ChessOpeningBookNode& high = book.nodes[1];
  EXPECT_EQ(high.key, KEY_HIGH);
  ASSERT_EQ(high.count, 2u);
  EXPECT_EQ(high.moves[0].move, ChessMove(0x345678));
  EXPECT_EQ(high.moves[0].games, 258u);
  EXPECT_EQ(high.moves[0].whitePercent, 10);
  EXPECT_EQ(high.moves[0].blackPercent, 80);
  EXPECT_EQ(high.moves[1].move, ChessMove(0x1234));
  EXPECT_EQ(high.moves[1].games, 2u);

  EXPECT_EQ(book.findMove(KEY_LOW), ChessMove(0xABC));
  for (int i = 0; i < 20; i++) {
    ChessMove m = book.findMove(KEY_HIGH);
    EXPECT_TRUE(m == ChessMove(0x345678) || m == ChessMove(0x1234));
  }
  EXPECT_EQ(book.findMove(2), ChessMove(0));
}

TEST_F(BookFile, SaveWritesTheLayoutByteForByte) {
  // The expected bytes are fixed, so the 64-bit and the 32-bit builds pass
  // this test only by writing the same file.
  ChessOpeningBook book;
  buildSample(book);
  ASSERT_EQ(book.save(path), 1);
  EXPECT_EQ(readBytes(), SAMPLE_FILE);
  // The book in memory is now in file order.
  EXPECT_EQ(book.nodes[0].key, KEY_LOW);
  EXPECT_EQ(book.nodes[1].moves[0].move, ChessMove(0x345678));
}

TEST_F(BookFile, SaveLoadSaveGivesIdenticalBytes) {
  ChessOpeningBook book;
  srand(7);
  for (int i = 0; i < 300; i++) {
    u64 key = (static_cast<u64>(rand()) << 40) ^ (static_cast<u64>(rand()) << 20) ^ rand();
    for (int m = 0; m < 1 + i % 5; m++)
      book.addNode(key, ChessMove(static_cast<u32>(rand())), 1 + rand() % 50, rand() % 101,
                   rand() % 101);
  }
  // Equal counts in one node: the exchange rule fixes their order.
  for (u32 m = 1; m <= 4; m++) book.addNode(KEY_LOW, ChessMove(m), m == 3 ? 9 : 5, 0, 0);
  ASSERT_EQ(book.save(path), 1);
  std::vector<u8> first = readBytes();

  ChessOpeningBook loaded;
  ASSERT_EQ(loaded.load(path), 1);
  ASSERT_EQ(loaded.nodes.size(), book.nodes.size());
  for (size_t i = 0; i < book.nodes.size(); i++) {
    ASSERT_EQ(loaded.nodes[i].key, book.nodes[i].key);
    ASSERT_EQ(loaded.nodes[i].count, book.nodes[i].count);
    for (u32 m = 0; m < book.nodes[i].count; m++) {
      EXPECT_EQ(loaded.nodes[i].moves[m].move, book.nodes[i].moves[m].move);
      EXPECT_EQ(loaded.nodes[i].moves[m].games, book.nodes[i].moves[m].games);
    }
  }
  const ChessOpeningBookNode* node = loaded.findPositionFast(KEY_LOW);
  ASSERT_NE(node, nullptr);
  // Games 5, 5, 9, 5: the 9 moves ahead by exchange with the first entry.
  EXPECT_EQ(node->moves[0].move, ChessMove(3));
  EXPECT_EQ(node->moves[1].move, ChessMove(2));
  EXPECT_EQ(node->moves[2].move, ChessMove(1));
  EXPECT_EQ(node->moves[3].move, ChessMove(4));

  ASSERT_EQ(loaded.save(path), 1);
  EXPECT_EQ(readBytes(), first);
}

TEST_F(BookFile, LoadFollowsTheRulesOfAddingMoves) {
  // Version 2, keys 5, 3, 5 (out of order), a node without moves, and a
  // repeated move: the records of key 5 merge, file order is kept.
  std::vector<u8> bytes = {'B', 'O', 'O', 'K', 0x02, 0, 0, 0, 4, 0, 0, 0};
  auto node = [&](u8 key, std::vector<u32> moves) {
    bytes.insert(bytes.end(), {key, 0, 0, 0, 0, 0, 0, 0, static_cast<u8>(moves.size()), 0, 0, 0});
    for (u32 m : moves)
      bytes.insert(bytes.end(), {static_cast<u8>(m), 0, 0, 0, static_cast<u8>(m), 0, 0, 0, 1, 2});
  };
  node(5, {1, 2});
  node(3, {7});
  node(9, {});
  node(5, {2, 4});
  writeBytes(bytes);
  ChessOpeningBook book;
  ASSERT_EQ(book.load(path), 1);
  ASSERT_EQ(book.nodes.size(), 2u);
  EXPECT_EQ(book.nodes[0].key, 5u);
  ASSERT_EQ(book.nodes[0].count, 3u);
  EXPECT_EQ(book.nodes[0].moves[2].move, ChessMove(4));
  EXPECT_EQ(book.nodes[1].key, 3u);
  EXPECT_EQ(book.findPosition(9), nullptr);
}

TEST_F(BookFile, BadFilesLeaveTheBookEmpty) {
  ChessOpeningBook book;
  auto loadFresh = [&](const std::vector<u8>& bytes) {
    writeBytes(bytes);
    book.nodes.clear();
    book.addNode(42, ChessMove(1), 1, 0, 0);   // load must empty the book
    return book.load(path);
  };

  // Every truncation of a sound file.
  for (size_t length = 0; length < SAMPLE_FILE.size(); length++) {
    std::vector<u8> cut(SAMPLE_FILE.begin(), SAMPLE_FILE.begin() + length);
    EXPECT_EQ(loadFresh(cut), 0) << "length " << length;
    EXPECT_TRUE(book.nodes.empty()) << "length " << length;
  }
  // Counts the file cannot hold.
  std::vector<u8> bytes = SAMPLE_FILE;
  bytes[8] = bytes[9] = bytes[10] = bytes[11] = 0xFF;
  EXPECT_EQ(loadFresh(bytes), 0);
  EXPECT_TRUE(book.nodes.empty());
  bytes = SAMPLE_FILE;
  bytes[20 + 3] = 0x7F;   // move count of the first node
  EXPECT_EQ(loadFresh(bytes), 0);
  EXPECT_TRUE(book.nodes.empty());
  // Wrong magic.
  bytes = SAMPLE_FILE;
  bytes[0] = 'b';
  EXPECT_EQ(loadFresh(bytes), 0);
  EXPECT_TRUE(book.nodes.empty());
  // Missing file.
  std::remove(path.c_str());
  book.addNode(42, ChessMove(1), 1, 0, 0);
  EXPECT_EQ(book.load(path), 0);
  EXPECT_TRUE(book.nodes.empty());
  EXPECT_EQ(book.findMove(KEY_LOW), ChessMove(0));
}

TEST(Book, SaveReportsFailures) {
  ChessOpeningBook book;
  buildSample(book);
  EXPECT_EQ(book.save("/nonexistent-directory/book.bin"), 0);
  // The device takes the open but no byte: the buffered data fails on close.
  EXPECT_EQ(book.save("/dev/full"), 0);
}

TEST_F(BookFile, EngineSwitchesTheBookOnAndOff) {
  std::unique_ptr<TestBoard> board = newTestBoard();
  board->useBook = 0;
  std::remove(path.c_str());
  EXPECT_EQ(board->loadOpeningBook(path), 0);
  EXPECT_EQ(board->useBook, 1);   // on even when the file is missing
  writeBytes(SAMPLE_FILE);
  EXPECT_EQ(board->loadOpeningBook(path), 1);
  EXPECT_EQ(board->openingBook.nodes.size(), 2u);
  board->unloadOpeningBook();
  EXPECT_EQ(board->useBook, 0);
  EXPECT_TRUE(board->openingBook.nodes.empty());
}
