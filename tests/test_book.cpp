// The opening book: adding moves, the weighted probe, and the book file
// against bytes written out by hand in its little-endian layout.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "records/openingbook.h"
#include "tests/support/test_board.h"

namespace {

const u64 KEY_LOW = 0x0000000000000001ull;
const u64 KEY_HIGH = 0xF0E0D0C0B0A09080ull;  // above KEY_LOW only as unsigned

// The file of the book built by buildSample(), byte by byte. The bytes are
// fixed, so the 64-bit and the 32-bit builds pass only by writing the same
// file.
const std::vector<u8> SAMPLE_FILE = {
    'B',  'O',  'O',  'K',                           // magic
    0x01, 0x00, 0x01, 0x00,                          // version 0x00010001
    0x02, 0x00, 0x00, 0x00,                          // 2 nodes
    0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // key 1
    0x01, 0x00, 0x00, 0x00,                          // 1 move
    0xBC, 0x0A, 0x00, 0x00,                          //   move 0x00000ABC
    0x07, 0x00, 0x00, 0x00,                          //   7 games
    100,  0,                                         //   white 100 %, black 0 %
    0x80, 0x90, 0xA0, 0xB0, 0xC0, 0xD0, 0xE0, 0xF0,  // key 0xF0E0D0C0B0A09080
    0x02, 0x00, 0x00, 0x00,                          // 2 moves, by descending games
    0x78, 0x56, 0x34, 0x00,                          //   move 0x00345678
    0x02, 0x01, 0x00, 0x00,                          //   258 games
    10,   80,   0x34, 0x12, 0x00, 0x00,              //   move 0x00001234
    0x02, 0x00, 0x00, 0x00,                          //   2 games
    50,   25,
};

// Builds, through addNode, the book that SAMPLE_FILE holds, but with its
// nodes and moves out of file order.
void buildSample(ChessOpeningBook& book) {
  book.addNode(KEY_HIGH, ChessMove(0x1234), 2, 50, 25);
  book.addNode(KEY_LOW, ChessMove(0xABC), 7, 100, 0);
  book.addNode(KEY_HIGH, ChessMove(0x345678), 258, 10, 80);
  book.addNode(KEY_HIGH, ChessMove(0x1234), 99, 1, 1);  // repeated: ignored
}

class BookFile : public ::testing::Test {
protected:
  std::string path = ::testing::TempDir() + "quarvel_book_" + std::to_string(getpid()) + "_" +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".bin";

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
    if (FILE* f = fopen(path.c_str(), "rb")) {
      for (int c; (c = fgetc(f)) != EOF;) bytes.push_back((u8)c);
      fclose(f);
    }
    return bytes;
  }
};

}  // namespace

TEST(Book, AddingMovesAndTheWeightedProbe) {
  // A node keeps the first statistics of a move and at most 16 moves, also
  // when other nodes were added after it.
  ChessOpeningBook nodeBook;
  ChessOpeningBookNode& node = nodeBook.appendNode(KEY_LOW);
  EXPECT_EQ(nodeBook.addMove(node, ChessMove(5), 3, 40, 30), 1);
  EXPECT_EQ(nodeBook.addMove(node, ChessMove(5), 8, 1, 2), 1);
  ASSERT_EQ(node.count, 1u);
  EXPECT_EQ(nodeBook.movesOf(node)[0].games, 3u);
  for (u32 m = 6; m < 21; m++) {
    nodeBook.addNode(KEY_HIGH, ChessMove(m), 2, 0, 0);
    EXPECT_EQ(nodeBook.addMove(nodeBook.nodes[0], ChessMove(m), 1, 0, 0), 1);
  }
  EXPECT_EQ(nodeBook.addMove(nodeBook.nodes[0], ChessMove(99), 1, 0, 0), 0);
  ASSERT_EQ(nodeBook.nodes.size(), 2u);
  for (u32 n = 0; n < 2; n++) {
    ASSERT_EQ(nodeBook.nodes[n].count, 16u - n);
    for (u32 i = 0; i < 16 - n; i++)
      EXPECT_EQ(nodeBook.movesOf(nodeBook.nodes[n])[i].move, ChessMove(n ? 6 + i : 5 + i));
  }
  // A full node takes a move of more games than its least played one in
  // place of the last added of those, and appends it; a tie drops it.
  EXPECT_EQ(nodeBook.addMove(nodeBook.nodes[0], ChessMove(98), 2, 0, 0), 1);
  EXPECT_EQ(nodeBook.addMove(nodeBook.nodes[0], ChessMove(97), 4, 0, 0), 1);
  EXPECT_EQ(nodeBook.addMove(nodeBook.nodes[0], ChessMove(96), 2, 0, 0), 1);
  EXPECT_EQ(nodeBook.addMove(nodeBook.nodes[0], ChessMove(95), 1, 0, 0), 0);
  std::vector<u32> kept;
  for (u32 i = 0; i < 16; i++) kept.push_back(nodeBook.movesOf(nodeBook.nodes[0])[i].move);
  EXPECT_EQ(kept, std::vector<u32>({5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 98, 97, 96}));

  // Keys added in ascending unsigned order, the largest with the top bit.
  ChessOpeningBook book;
  EXPECT_EQ(book.findMove(KEY_LOW), ChessMove(0));
  const std::vector<u64> keys = {3,    10, 11, 500, 0x7FFFFFFFFFFFFFFFull, 0x8000000000000000ull,
                                 ~0ull};
  for (size_t i = 0; i < keys.size(); i++) book.addNode(keys[i], ChessMove(100 + i), 1, 0, 0);
  for (size_t i = 0; i < keys.size(); i++) {
    EXPECT_EQ(book.findMove(keys[i]), ChessMove(100 + i)) << keys[i];
    EXPECT_EQ(book.findPositionFast(keys[i]), book.findPosition(keys[i]));
  }
  for (u64 absent : {0ull, 4ull, 12ull, 0x8000000000000001ull, ~1ull}) {
    EXPECT_EQ(book.findMove(absent), ChessMove(0)) << absent;
    EXPECT_EQ(book.findPositionFast(absent), nullptr);
    EXPECT_EQ(book.findPosition(absent), nullptr);
  }

  // The choice follows the game counts; entries with 0 games are never
  // chosen (and a node of only such entries gives none); counts near the
  // 32-bit limit add up without wrapping.
  ChessOpeningBook weighted;
  weighted.addNode(KEY_LOW, ChessMove(1), 3, 0, 0);
  weighted.addNode(KEY_LOW, ChessMove(2), 1, 0, 0);
  weighted.addNode(KEY_LOW, ChessMove(3), 0, 0, 0);
  weighted.addNode(KEY_HIGH, ChessMove(4), 0, 0, 0);
  srand(12345);
  int counts[4] = {0, 0, 0, 0};
  for (int i = 0; i < 8000; i++) counts[weighted.findMove(KEY_LOW) & 3]++;
  EXPECT_EQ(counts[1] + counts[2], 8000);
  EXPECT_NEAR((double)counts[1] / counts[2], 3.0, 0.4);
  EXPECT_EQ(weighted.findMove(KEY_HIGH), ChessMove(0));
  ChessOpeningBook big;
  big.addNode(KEY_LOW, ChessMove(6), 0xFFFFFFFFu, 0, 0);
  big.addNode(KEY_LOW, ChessMove(7), 0xFFFFFFFFu, 0, 0);
  for (int i = 0; i < 50; i++) EXPECT_EQ(big.findMove(KEY_LOW) & ~1u, 6u);
}

// The file written by hand is the one save writes for the sample book; a
// load of it holds the same book, so that saving it again gives the same
// bytes, and is probed by its keys. Save, load, save of a large book gives
// identical bytes too.
TEST_F(BookFile, HandWrittenLayoutAndRoundTrips) {
  ChessOpeningBook sample;
  buildSample(sample);
  ASSERT_EQ(sample.save(path), 1);
  EXPECT_EQ(readBytes(), SAMPLE_FILE);
  EXPECT_EQ(sample.nodes[0].key, KEY_LOW);  // the book in memory is in file order now

  writeBytes(SAMPLE_FILE);
  ChessOpeningBook loaded;
  ASSERT_EQ(loaded.load(path), 1);
  ASSERT_EQ(loaded.nodes.size(), 2u);
  EXPECT_EQ(loaded.nodes[1].key, KEY_HIGH);
  EXPECT_EQ(loaded.movesOf(loaded.nodes[1])[0].games, 258u);
  EXPECT_EQ(loaded.movesOf(loaded.nodes[1])[0].blackPercent, 80);
  EXPECT_EQ(loaded.findMove(KEY_LOW), ChessMove(0xABC));
  const ChessMove m = loaded.findMove(KEY_HIGH);
  EXPECT_TRUE(m == ChessMove(0x345678) || m == ChessMove(0x1234));
  EXPECT_EQ(loaded.findMove(2), ChessMove(0));
  std::remove(path.c_str());
  ASSERT_EQ(loaded.save(path), 1);
  EXPECT_EQ(readBytes(), SAMPLE_FILE);

  ChessOpeningBook book;
  srand(7);
  for (int i = 0; i < 300; i++) {
    const u64 key = ((u64)rand() << 40) ^ ((u64)rand() << 20) ^ (u64)rand();
    for (int n = 0; n < 1 + i % 5; n++)
      book.addNode(key, ChessMove((u32)rand()), 1 + rand() % 50, rand() % 101, rand() % 101);
  }
  // Games 5, 5, 9, 5 in one node: the 9 moves ahead by exchange with the
  // first entry.
  for (u32 w = 1; w <= 4; w++) book.addNode(KEY_LOW, ChessMove(w), w == 3 ? 9 : 5, 0, 0);
  ASSERT_EQ(book.save(path), 1);
  const std::vector<u8> first = readBytes();
  loaded.clear();
  ASSERT_EQ(loaded.load(path), 1);
  ASSERT_EQ(loaded.nodes.size(), book.nodes.size());
  const ChessOpeningBookNode* node = loaded.findPositionFast(KEY_LOW);
  ASSERT_NE(node, nullptr);
  const u32 order[4] = {3, 2, 1, 4};
  for (u32 i = 0; i < 4; i++) EXPECT_EQ(loaded.movesOf(*node)[i].move, ChessMove(order[i]));
  std::remove(path.c_str());
  ASSERT_EQ(loaded.save(path), 1);
  EXPECT_EQ(readBytes(), first);
}

TEST_F(BookFile, LoadMergesRepeatedKeysLikeAddingMoves) {
  // Version 2, keys 5, 3, 9 (no moves), 5 again with a repeated move of
  // other statistics, then 3 twice with ten moves each: the records of a
  // key merge in file order, the first entry of a move wins and a node
  // keeps the 16 moves of most games; the nodes are put in key order, so
  // that all are found.
  std::vector<u8> bytes = {'B', 'O', 'O', 'K', 0x02, 0, 0, 0, 6, 0, 0, 0};
  auto node = [&](u8 key, std::vector<u8> moves, u8 games) {
    bytes.insert(bytes.end(), {key, 0, 0, 0, 0, 0, 0, 0, (u8)moves.size(), 0, 0, 0});
    for (u8 m : moves) bytes.insert(bytes.end(), {m, 0, 0, 0, games, 0, 0, 0, 1, 2});
  };
  node(5, {1, 2}, 1);
  node(3, {7}, 1);
  node(9, {}, 1);
  node(5, {2, 4}, 9);
  node(3, {20, 21, 22, 23, 24, 25, 26, 27, 28, 7}, 2);
  node(3, {30, 31, 32, 33, 34, 35, 36, 37, 38, 39}, 3);
  writeBytes(bytes);
  ChessOpeningBook book;
  ASSERT_EQ(book.load(path), 1);
  ASSERT_EQ(book.nodes.size(), 2u);
  EXPECT_EQ(book.nodes[0].key, 3u);
  EXPECT_EQ(book.nodes[1].key, 5u);
  const u32 expected[2][16] = {{20, 21, 22, 23, 24, 25, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39},
                               {1, 2, 4}};
  const u32 games[2][16] = {{2, 2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3}, {1, 1, 9}};
  for (u32 n = 0; n < 2; n++) {
    ASSERT_EQ(book.nodes[n].count, n ? 3u : 16u);
    for (u32 i = 0; i < book.nodes[n].count; i++) {
      EXPECT_EQ(book.movesOf(book.nodes[n])[i].move, ChessMove(expected[n][i])) << n << " " << i;
      EXPECT_EQ(book.movesOf(book.nodes[n])[i].games, games[n][i]) << n << " " << i;
    }
  }
  EXPECT_NE(book.findMove(3), ChessMove(0));
  EXPECT_NE(book.findMove(5), ChessMove(0));
}

// Saving over a book replaces the file a link names, with its mode; a pipe
// named as the book is refused at once instead of waiting for a writer.
TEST_F(BookFile, SaveReplacesTheLinkedFileAndLoadRefusesPipes) {
  ChessOpeningBook book;
  buildSample(book);
  writeBytes({'o', 'l', 'd'});
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  const std::string link = path + ".link", fifo = path + ".fifo";
  ASSERT_EQ(symlink(path.c_str(), link.c_str()), 0);
  EXPECT_EQ(book.save(link), 1);
  EXPECT_EQ(readBytes(), SAMPLE_FILE);
  struct stat status;
  ASSERT_EQ(lstat(link.c_str(), &status), 0);
  EXPECT_TRUE(S_ISLNK(status.st_mode));
  ASSERT_EQ(stat(path.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0640u);
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(book.load(fifo), 0);
  EXPECT_TRUE(book.nodes.empty());
  std::remove(link.c_str());
  std::remove(fifo.c_str());
}

TEST_F(BookFile, BadFilesLeaveTheBookEmptyAndFailedSavesSaySo) {
  ChessOpeningBook book;
  auto loadFresh = [&](const std::vector<u8>& bytes) {
    writeBytes(bytes);
    book.addNode(42, ChessMove(1), 1, 0, 0);  // load must empty the book
    const int result = book.load(path);
    EXPECT_TRUE(book.nodes.empty());
    return result;
  };
  // Every truncation of a sound file; counts the file cannot hold (nodes,
  // moves of the first node); a wrong magic.
  for (size_t length = 0; length < SAMPLE_FILE.size(); length++)
    EXPECT_EQ(loadFresh(std::vector<u8>(SAMPLE_FILE.begin(), SAMPLE_FILE.begin() + length)), 0)
        << length;
  for (size_t at : {8, 9, 10, 11, 23, 0}) {
    std::vector<u8> bytes = SAMPLE_FILE;
    bytes[at] = at ? 0x7F : 'b';
    EXPECT_EQ(loadFresh(bytes), 0) << at;
  }
  std::remove(path.c_str());
  book.addNode(42, ChessMove(1), 1, 0, 0);
  EXPECT_EQ(book.load(path), 0);  // no file
  EXPECT_TRUE(book.nodes.empty());

  buildSample(book);
  EXPECT_EQ(book.save("/nonexistent-directory/book.bin"), 0);
  // The device takes the open but no byte: the buffered data fails on close.
  EXPECT_EQ(book.save("/dev/full"), 0);

  // The engine switches the book on even when the file is missing.
  auto board = newTestBoard();
  board->useBook = 0;
  EXPECT_EQ(board->loadOpeningBook(path), 0);
  EXPECT_EQ(board->useBook, 1);
  writeBytes(SAMPLE_FILE);
  EXPECT_EQ(board->loadOpeningBook(path), 1);
  EXPECT_EQ(board->openingBook.nodes.size(), 2u);
  board->unloadOpeningBook();
  EXPECT_EQ(board->useBook, 0);
  EXPECT_TRUE(board->openingBook.nodes.empty());
}
