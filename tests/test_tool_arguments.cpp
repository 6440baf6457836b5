// Numbers of the tools' arguments beyond the int range: each is read in 64
// bits and held to what its tool takes, the same in both builds, never
// wrapped to a small value.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/slowdown.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_paths.h"

namespace {

using testsupport::TempDir;

// A working directory whose quarvel.ini asks for a small table.
struct ToolDir : TempDir {
  ToolDir() { write("quarvel.ini", "[Engine]\nHash=4\n"); }
  testsupport::SpawnOptions options() const {
    testsupport::SpawnOptions o;
    o.workingDir = path;
    return o;
  }
};

// The depth of a thinking line of the console form ("%2d", then the score
// with its sign), 0 for any other line.
int thinkingDepth(const std::string& line) {
  int depth = 0;
  char score[16];
  if (sscanf(line.c_str(), "%d %15s", &depth, score) != 2) return 0;
  return score[0] == '+' || score[0] == '-' ? depth : 0;
}

}  // namespace

// Seconds beyond the int range are held to 2147, not wrapped. Wrapped,
// 4294967296 gave 0 s: the think stopped at its first clock check, which
// comes after a fixed count of calls, before depth 4; held, it shows a line
// of depth 8. Wrapped, 4294967297 gave 1 s and 2147483648 the default 5 s:
// those runs had ended after 10 s, while a think of 2147 s still runs then.
TEST(ToolArguments, TestSuiteSecondsAreHeldNotWrapped) {
  ToolDir dir;
  const std::string epd = dir.write(
      "start.epd", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - bm e4; id \"start\";\n");
  struct Case {
    const char* seconds;
    bool deepening;  // a line of depth 8, else still running after 10 s
  };
  const Case cases[] = {{"4294967296", true}, {"4294967297", false}, {"2147483648", false}};
  // All the thinks run side by side.
  std::vector<std::unique_ptr<testsupport::ChildProcess>> thinks;
  for (const Case& c : cases)
    thinks.emplace_back(new testsupport::ChildProcess(
        testsupport::programPath(), {"-testsuite", epd, c.seconds}, dir.options()));
  const auto start = std::chrono::steady_clock::now();
  for (size_t i = 0; i < thinks.size(); i++) {
    testsupport::ChildProcess& think = *thinks[i];
    const Case& c = cases[i];
    bool shown;
    if (c.deepening) {
      shown = think
                  .readUntil([](const std::string& l) { return thinkingDepth(l) >= 8; },
                             std::chrono::seconds(60 * testsupport::kSlowdown))
                  .has_value();
      think.kill(SIGKILL);
      think.wait(std::chrono::seconds(10));
    } else {
      // Killed at the deadline when it still runs.
      const auto left = std::chrono::seconds(10) - (std::chrono::steady_clock::now() - start);
      shown = think.wait(std::chrono::duration_cast<testsupport::Millis>(left)).timedOut;
    }
    EXPECT_TRUE(shown) << c.seconds << " s: "
                       << (c.deepening ? "no thinking line of depth 8" : "ended within 10 s");
  }
}

// The depth and the count of the book builder: wrapped, depth 4294967298
// built at depth 2 and count 4294967297 became 1; held, they give the book
// of depth 32 and a book that retains nothing.
TEST(ToolArguments, BookDepthAndCountAreHeldNotWrapped) {
  ToolDir dir;
  // Morphy's opera game: 33 plies.
  const std::string pgn = dir.write(
      "opera.pgn",
      "[Result \"1-0\"]\n1. e4 e5 2. Nf3 d6 3. d4 Bg4 4. dxe5 Bxf3 5. Qxf3 dxe5 6. Bc4 Nf6 7. "
      "Qb3 Qe7 8. Nc3 c6 9. Bg5 b5 10. Nxb5 cxb5 11. Bxb5+ Nbd7 12. O-O-O Rd8 13. Rxd7 Rxd7 14. "
      "Rd1 Qe6 15. Bxd7+ Nxd7 16. Qb8+ Nxb8 17. Rd8# 1-0\n");
  int books = 0;
  auto build = [&](const char* depth, const char* count) {
    const std::string book = dir.path + "/book" + std::to_string(books++) + ".bin";
    auto r = testsupport::runCommand(
        {testsupport::programPath(), "-buildbook", pgn, book, depth, count},
        std::chrono::seconds(60 * testsupport::kSlowdown), std::string(), dir.options());
    EXPECT_EQ(r.status.code, 1) << depth << " " << count << ": " << r.status.describe();
    return TempDir::read(book);
  };
  const std::string deepest = build("32", "1"), nothingRetained = build("0", "1");
  EXPECT_GT(deepest.size(), build("2", "1").size());
  EXPECT_EQ(build("4294967298", "1"), deepest);
  EXPECT_EQ(build("32", "4294967297"), nothingRetained);
}
