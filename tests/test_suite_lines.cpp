// Suite lines of any length: the EPD solver (through the real program), the
// symmetry suite and the perft suite read every line whole, one position a
// line, with each field cut to its room, and count the lines of the file.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/child_process.h"
#include "tests/support/slowdown.h"
#include "tests/support/suite_report.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_board.h"
#include "tests/support/test_paths.h"

namespace {

using testsupport::TempDir;
using testsupport::withoutThinking;

const std::string MATE = "6k1/5ppp/8/8/8/8/8/R5K1 w - - ";  // Ra8# mates
const std::string START = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1 ";

}  // namespace

// A line longer than 255 characters is one position: its comment holds no
// second one (read in pieces, the tail " bm Kh1; id "ghost"" was a position
// of its own with a bad FEN), a line of a megabyte counts once, a "bm" far
// into the line is found, and the FEN and identifier are cut to 255
// characters.
TEST(SuiteLines, EpdLinesOfAnyLengthThroughTheTool) {
  TempDir dir;
  const std::string ghost =
      MATE + "bm Ra8#; id \"mate1\"; c0 \"" + std::string(210, 'x') + " bm Kh1; id \"ghost\";\";\n";
  ASSERT_GT(ghost.find("bm Kh1"), 255u);
  const std::string big = MATE + "bm Ra8#; id \"big\"; c0 \"" + std::string(1000000, 'y') + "\";\n";
  const std::string far = MATE + std::string(300, ' ') + "bm Ra8#; id \"far\";\n";
  const std::string longId = MATE + "bm Ra8#; id \"" + std::string(400, 'z') + "\";\n";
  const std::string mated =
      "R5k1/5ppp/8/8/8/8/8/6K1 b - - bm Kf8; id \"" + std::string(300, 'm') + "\";\n";
  const std::string epd = dir.write("long.epd", ghost + big + far + longId + mated);

  const std::string dashes(79, '-'), ids255(255, 'z'), mated255(255, 'm');
  const std::string farFen = (MATE + std::string(300, ' ')).substr(0, 255);
  const std::string expected =
      "Quarvel version 1.3b\n\nTest suite : " + epd + "\n\n" + dashes + "\n" + MATE +
      " bm Ra8#; id mate1;\n\n" + dashes + "\n" + MATE + " bm Ra8#; id big;\n\n" + dashes + "\n" +
      farFen + " bm Ra8#; id far;\n\n" + dashes + "\n" + MATE + " bm Ra8#; id " + ids255 + ";\n\n" +
      dashes + "\nR5k1/5ppp/8/8/8/8/8/6K1 b - -  bm Kf8; id " + mated255 +
      ";\n\nERROR : no legal move !\n" + "\nScore = 4 / 5\n\nBad results : \n\n" + mated255 +
      "\nBad result =>  " + mated255 + ", \n";
  auto r = testsupport::runSuiteTool(dir, epd, "0");
  EXPECT_EQ(r.status.code, 1) << r.status.describe();
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(withoutThinking(r.out), expected) << r.out.substr(0, 4000);
}

// The symmetry and perft suites: long lines, one position each (a FEN
// with a tail of blanks is cut to 255 characters); a long last field is one
// field, which matches no count.
TEST(SuiteLines, EvalAndPerftSuitesReadWholeLines) {
  TempDir dir;
  auto board = newTestBoard();
  const std::string tail(300, ' '), mega(1000000, ' ');
  const TestSuiteScore eval = board->runEvalTestSuite(
      dir.write("eval.epd", START + "bm e4; id \"s\"; c0 \"" + tail + "bm e4; id \"ghost\";\";\n" +
                                START + tail + "bm e4; id \"far\";\n" + START +
                                "bm e4; id \"big\"; c0 \"" + mega + "\";\n" + "\n" + mega + "\n"));
  EXPECT_EQ(eval.good, 3);
  EXPECT_EQ(eval.total, 5);
  const TestSuiteScore perft = board->runPerftSuite(dir.write(
      "perft.epd", START + tail + ";D1 20 ;D2 400\n" + START + mega + ";D1 20 ;D2 400\r\n" + START +
                       ";D1 20 ;D2 400" + std::string(300, '0') + "\n"));
  EXPECT_EQ(perft.good, 2);
  EXPECT_EQ(perft.total, 3);
}

// A line too long for the memory there is (200 MB under a limit of 80 MB
// of address space) is counted without being read as a position, and the
// lines after it are read as usual: no crash, no invented position. The
// suite comes through a pipe, so that no file of that size is written.
TEST(SuiteLines, LineBeyondTheMemoryIsCountedWithoutAPosition) {
#ifdef QUARVEL_SANITIZE
  GTEST_SKIP() << "the sanitizers need more address space than the limit";
#endif
  if (testsupport::kEmulated)
    GTEST_SKIP() << "the emulator needs more address space than the limit";
  TempDir dir;
  dir.write("quarvel.ini", "[Engine]\nHash=4\n");
  const std::string script =
      "{ printf '%s\\n' \"$2\"; head -c 200000000 /dev/zero | tr '\\0' x;"
      " printf ' bm Ra8#; id \"huge\";\\n%s\\n' \"$3\"; } |"
      " { ulimit -v 80000 && exec \"$1\" -testsuite /dev/stdin 0; }";
  testsupport::SpawnOptions options;
  options.workingDir = dir.path;
  auto r = testsupport::runCommand({"/bin/sh", "-c", script, "sh", testsupport::programPath(),
                                    MATE + "bm Ra8#; id \"a\";", MATE + "bm Ra8#; id \"b\";"},
                                   std::chrono::seconds(120 * testsupport::kSlowdown),
                                   std::string(), options);
  EXPECT_EQ(r.status.code, 1) << r.status.describe() << r.err;
  EXPECT_EQ(r.err, "");
  const std::string dashes(79, '-');
  EXPECT_EQ(withoutThinking(r.out), "Quarvel version 1.3b\n\nTest suite : /dev/stdin\n\n" + dashes +
                                        "\n" + MATE + " bm Ra8#; id a;\n\n" + dashes + "\n" + MATE +
                                        " bm Ra8#; id b;\n\n" +
                                        "\nScore = 2 / 3\n\nBad results : \n\nBad result =>  \n");
}
