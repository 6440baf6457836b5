// Book files as the real program meets them: files that are no book, books
// larger than the memory it may take, books out of key order, and a new
// book that cannot be written completely over an old one.
#include <gtest/gtest.h>

#include <dirent.h>

#include <memory>
#include <set>
#include <string>

#include "bench/book/seeded_pgn.h"
#include "bench/book/synthetic_book.h"
#include "tests/support/proc_status.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_board.h"
#include "tests/test_protocol_session.h"

namespace {

using testsupport::TempDir;

#ifdef QUARVEL_SANITIZE
// The sanitizers reserve their shadow memory up front and end the program
// on a failed allocation: their build runs without memory limits.
constexpr bool kMemoryLimits = false;
#else
constexpr bool kMemoryLimits = true;
#endif
// Under a limit the program's allocations fail first only where it runs
// by itself: an emulator's own fail as often, and end it.
constexpr bool kTightLimits = kMemoryLimits && !testsupport::kEmulated;

const char* const NOT_FOUND = "info string book file not found";

// A UCI session of the program allowed `extra` bytes of private memory
// beyond what it takes without a book once it has answered (the emulator's
// own memory included where it runs one).
std::unique_ptr<e2e::Session> sessionWithMemory(unsigned long long extra) {
  static const unsigned long long baseline = [] {
    e2e::Session probe;
    probe.handshake();
    EXPECT_TRUE(probe.ready());
    const unsigned long long size = testsupport::statusBytes(probe.child().pid(), "VmData");
    probe.quit();
    return size;
  }();
  testsupport::SpawnOptions options;
  if (kMemoryLimits) options.dataLimit = baseline + extra;
  auto session = std::make_unique<e2e::Session>(options);
  session->handshake();
  return session;
}

// Names the book and switches it on (once); the lines up to "readyok".
e2e::Lines switchBookOn(e2e::Session& uci, const std::string& file, bool first = true,
                        int timeoutMs = 10000) {
  uci.send("setoption name Book File value " + file);
  if (first) uci.send("setoption name OwnBook value true");
  e2e::Lines lines;
  if (!uci.ready(e2e::scaled(timeoutMs), &lines)) lines.push_back("<no readyok>");
  return lines;
}

// The book move of the start position: a think that would take minutes
// answers at once.
std::string startMove(e2e::Session& uci) {
  uci.sendAll({"position startpos", "go depth 40"});
  return uci.waitBestMove(e2e::scaled(10000)).bestmove;
}

// Without a book the engine still searches: a legal move, then a clean end.
void searchesAndQuits(e2e::Session& uci) {
  uci.sendAll({"position startpos", "go depth 3"});
  e2e::Referee referee;
  e2e::expectLegalAnswer(referee, uci.waitBestMove(e2e::scaled(20000)));
  EXPECT_TRUE(e2e::endedCleanly(uci.quit()));
}

// e2e4 as the engine plays it, and the start position's key.
struct StartEntry {
  u64 key;
  ChessMove move;
  StartEntry() {
    auto board = newTestBoard();
    key = board->currentNode.hashKey;
    move = findMove(board->currentNode, "e2e4");
  }
};

}  // namespace

// A device that never ends, a count of four billion nodes in a 20-byte
// file, a game collection and a folder, each named as the book: refused
// with one line each, after reading no more than the header.
TEST(BookLoading, FilesThatAreNoBookAreRefusedAtOnce) {
  TempDir dir;
  const std::string huge = dir.write(
      "huge.bin", std::string("BOOK\x01\x00\x01\x00\xff\xff\xff\xff", 12) + std::string(8, '\x07'));
  const std::string pgn = dir.write("games.pgn", "[Event \"x\"]\n\n1. e4 e5 1-0\n");
  auto uci = sessionWithMemory(256ull << 20);
  bool first = true;
  for (const std::string& file : {std::string("/dev/zero"), huge, pgn, dir.folder("folder")}) {
    const e2e::Lines lines = switchBookOn(*uci, file, first);
    EXPECT_EQ(lines, e2e::Lines{NOT_FOUND}) << file;
    first = false;
  }
  searchesAndQuits(*uci);
}

// A book of a million positions (22 MB on file) loads within three times
// its file size and plays its move; with less memory than the book needs
// it is refused with one line and the engine plays on without it.
TEST(BookLoading, ABookTakesLittleMoreThanItsFileSizeOrIsRefused) {
  TempDir dir;
  const StartEntry start;
  const u32 nodes = 1000000;
  const std::string book = dir.path + "/million.bin";
  ASSERT_TRUE(bookbench::writeSyntheticBook(book, nodes, false, start.key, start.move));
  const unsigned long long fileSize = 12ull + 22ull * nodes;

  auto roomy = sessionWithMemory(3 * fileSize);
  EXPECT_EQ(switchBookOn(*roomy, book), e2e::Lines{});
  EXPECT_EQ(startMove(*roomy), "e2e4");
  EXPECT_TRUE(e2e::endedCleanly(roomy->quit()));

  if (!kTightLimits) return;
  auto tight = sessionWithMemory(fileSize / 2);
  EXPECT_EQ(switchBookOn(*tight, book), e2e::Lines{NOT_FOUND});
  searchesAndQuits(*tight);
}

// The same 300,000 positions with their keys in descending order: sorted
// once on loading (not node by node, which takes minutes), and probed as
// the book in order is.
TEST(BookLoading, ABookOutOfKeyOrderIsSortedOnce) {
  TempDir dir;
  const StartEntry start;
  auto uci = sessionWithMemory(1ull << 30);
  bool first = true;
  for (bool descending : {true, false}) {
    const std::string book = dir.path + (descending ? "/descending.bin" : "/ascending.bin");
    ASSERT_TRUE(bookbench::writeSyntheticBook(book, 300000, descending, start.key, start.move));
    EXPECT_EQ(switchBookOn(*uci, book, first, 30000), e2e::Lines{}) << book;
    EXPECT_EQ(startMove(*uci), "e2e4") << book;
    first = false;
  }
  EXPECT_TRUE(e2e::endedCleanly(uci->quit()));
}

// A book that cannot be written completely (here the file-size limit, as
// a full disk would) is reported, and the book that stood there before is
// left byte for byte, with nothing else beside it.
TEST(BookSaving, AFailedWriteLeavesTheOldBookAsItWas) {
  TempDir dir;
  const std::string small = dir.write("small.pgn", "[Result \"1-0\"]\n\n1. e4 e5 2. Nf3 1-0\n");
  const std::string large = dir.path + "/large.pgn";
  ASSERT_TRUE(bookbench::writeSeededPgn(large, 300, 40, 5));
  const std::string book = dir.path + "/book.bin";
  const std::string program = testsupport::programPath();
  auto build = [&](const std::string& pgn, const char* depth, unsigned long long fileSizeLimit) {
    testsupport::SpawnOptions options;
    options.fileSizeLimit = fileSizeLimit;
    return testsupport::runCommand({program, "-buildbook", pgn, book, depth, "1"},
                                   e2e::scaled(60000), "", options);
  };
  const testsupport::CommandResult first = build(small, "3", 0);
  ASSERT_EQ(first.status.code, 1) << first.err;
  const std::string old = TempDir::read(book);
  ASSERT_EQ(old.size(), 12u + 3 * (12 + 10));

  const testsupport::CommandResult failed = build(large, "20", 4096);
  EXPECT_EQ(failed.status.code, 0) << failed.status.describe();
  EXPECT_EQ(failed.err, "ERROR : cannot write " + book + " !\n");
  EXPECT_EQ(TempDir::read(book), old);
  std::set<std::string> names;
  if (DIR* d = opendir(dir.path.c_str())) {
    while (dirent* e = readdir(d)) names.insert(e->d_name);
    closedir(d);
  }
  EXPECT_EQ(names, (std::set<std::string>{".", "..", "small.pgn", "large.pgn", "book.bin"}));

  const testsupport::CommandResult replaced = build(large, "20", 0);
  EXPECT_EQ(replaced.status.code, 1) << replaced.err;
  EXPECT_GT(TempDir::read(book).size(), 4096u);
}
