// The perft and divide tools run as the real program (exact output, the
// same from both builds), and the configuration reader they take the table
// size from.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "protocol/config.h"
#include "tests/support/child_process.h"
#include "tests/support/test_paths.h"

namespace {

using testsupport::CommandResult;

const char* const HEADER =
    "depth |        nodes |     captures |          e.p |        check |         mate |"
    "    promotion |       castle ";
const char* const KIWIPETE = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";

// A working directory whose quarvel.ini asks for a small table, so that the
// runs do not each clear the default 128 MB; removed at exit.
struct SmallTableDir {
  std::string path;
  SmallTableDir() {
    char name[] = "/tmp/quarvel-tools-XXXXXX";
    if (!mkdtemp(name)) return;
    path = name;
    if (FILE* f = fopen((path + "/quarvel.ini").c_str(), "w")) {
      fputs("[Engine]\nHash=4\n", f);
      fclose(f);
    }
  }
  ~SmallTableDir() {
    unlink((path + "/quarvel.ini").c_str());
    rmdir(path.c_str());
  }
};

// Runs the program with no input; expects it to end by itself with the exit
// code (any code for -1) and no error output, and returns its output.
std::string run(std::vector<std::string> args, int exitCode, bool smallTable = true) {
  static const SmallTableDir dir;
  args.insert(args.begin(), testsupport::programPath());
  testsupport::SpawnOptions options;
  if (smallTable) options.workingDir = dir.path;
  CommandResult r = testsupport::runCommand(args, std::chrono::seconds(60), std::string(), options);
  EXPECT_TRUE(r.status.exited && (exitCode < 0 || r.status.code == exitCode))
      << r.status.describe() << r.err;
  if (exitCode >= 0) {
    EXPECT_EQ(r.err, "");
  }
  return r.out;
}

std::string lines(std::initializer_list<const char*> rows) {
  std::string out;
  for (const char* row : rows) out += std::string(row) + "\n";
  return out;
}

}  // namespace

TEST(ToolsCli, PerftAndDivideOutput) {
  // Without a configuration file: the default table.
  EXPECT_EQ(run({"-perft", "4"}, 1, false),
            lines({HEADER,
                   " 1.           20            0            0            0            0           "
                   " 0            0",
                   " 2.          400            0            0            0            0           "
                   " 0            0",
                   " 3.         8902           34            0           12            0           "
                   " 0            0",
                   " 4.       197281         1576            0          469            8           "
                   " 0            0"}));
  EXPECT_EQ(run({"-perft", "3", "-fen", KIWIPETE}, 1),
            lines({HEADER,
                   " 1.           48            8            0            0            0           "
                   " 0            2",
                   " 2.         2039          351            1            3            0           "
                   " 0           91",
                   " 3.        97862        17102           45          993            1           "
                   " 0         3162"}));
  // A depth with trailing text reads as its number.
  EXPECT_EQ(run({"-perft", "1x"}, 1), lines({HEADER,
                                             " 1.           20            0            0           "
                                             " 0            0            0            0"}));
  // Divide: the legal first moves in generation order.
  std::istringstream out(run({"-divide", "2"}, 1));
  std::vector<std::string> rows;
  unsigned long long sum = 0;
  for (std::string row; std::getline(out, row); sum += std::stoull(row.substr(15)))
    rows.push_back(row);
  ASSERT_EQ(rows.size(), 20u);
  EXPECT_EQ(rows[0], "      Nb1-a3 :           20");
  EXPECT_EQ(rows[19], "       h2-h4 :           20");
  EXPECT_EQ(sum, 400u);
  EXPECT_EQ(run({"-divide", "1", "-fen", "4k3/4r3/8/8/8/8/4N3/4K3 w - - 0 1"}, 1),
            lines({"      Ke1-d1 :            1", "      Ke1-f1 :            1",
                   "      Ke1-d2 :            1", "      Ke1-f2 :            1"}));
}

TEST(ToolsCli, BadFenIsReportedCleanly) {
  for (const char* fen : {"", "xyz", "8/8/8/8/8/8/8/8 w - - 0 1",
                          "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",
                          "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR/8/8/8/8/8 w - - 0 1",
                          "\xff\xfe\x80 w - - 0 1"})
    for (const char* tool : {"-perft", "-divide"})
      EXPECT_EQ(run({tool, "3", "-fen", fen}, 0), "Bad FEN string !\n") << tool << " " << fen;
}

TEST(ToolsCli, DepthsOutsideTheRangeAndOtherArguments) {
  for (const char* depth : {"0", "-5", "abc", "64", "99999999999999999999"})
    EXPECT_EQ(run({"-perft", depth}, 1), std::string(HEADER) + "\n") << depth;
  for (const char* depth : {"0", "-1", "xyz", "65", "-99999999999999999999"})
    EXPECT_EQ(run({"-divide", depth}, 1), "") << depth;
  // Argument lists that name no tool start no count, and end cleanly when
  // no input comes.
  for (const auto& args :
       std::vector<std::vector<std::string>>{{"-perft"},
                                             {"-perft", "2", "-fen"},
                                             {"-perft", "2", "-xen", KIWIPETE},
                                             {"-divide", "2", "-fen", KIWIPETE, "extra"},
                                             {"-Perft", "2"}}) {
    const std::string out = run(args, -1);
    EXPECT_EQ(out.find("depth |"), std::string::npos) << out;
    EXPECT_EQ(out.find(" : "), std::string::npos) << out;
  }
}

TEST(ConfigFile, ReadsKeysOfTheSectionAsWritten) {
  char name[] = "/tmp/quarvel-config-XXXXXX";
  const int fd = mkstemp(name);
  ASSERT_GE(fd, 0);
  close(fd);
  auto hash = [&](const std::string& text) {
    FILE* f = fopen(name, "wb");
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
    int size = 128;
    ReadFileConfigInt(name, "Engine", "Hash", &size);
    return size;
  };
  EXPECT_EQ(hash("Hash=1\n[Other]\nHash=2\n[Engine]\nBook=1\nHash=64MB\nHash=32\n"), 64);
  EXPECT_EQ(hash("[Engine]\nHash =16\n"), 128);  // "Hash " is another key
  EXPECT_EQ(hash("[Engine]\r\nHash=16\r\n"), 16);
  EXPECT_EQ(hash("[Engine]\nHash=abc\n"), 0);
  EXPECT_EQ(hash("[Engine]\nHash= 24 \n"), 24);
  EXPECT_EQ(hash("[Engine]\n[Other]\nHash=12\n"), 12);  // the wanted section goes on
  EXPECT_EQ(hash("[\n[Engine\nHash=12\n"), 128);        // no wanted header at all
  EXPECT_EQ(hash("[Engine]\nHash=99999999999999999999\n"), 2147483647);
  EXPECT_EQ(hash("[Engine]\nHash=4\tx\n"), 4);  // control bytes end a line
  // A line longer than the read buffer is read in pieces, never past it;
  // a high byte ends the value.
  EXPECT_EQ(hash("[Engine]\nBookFile=" + std::string(600, 'x') + "\nHash=8\n"), 8);
  char value[256] = "untouched";
  EXPECT_EQ(ReadFileConfigString(name, "Engine", "BookFile", value), 1);
  EXPECT_EQ(std::string(value), std::string(255 - 9, 'x'));
  hash("[Engine]\nBookFile=my b\x80ok.bin\n");
  EXPECT_EQ(ReadFileConfigString(name, "Engine", "BookFile", value), 1);
  EXPECT_STREQ(value, "my b");
  EXPECT_EQ(ReadFileConfigString(name, "Engine", "Missing", value), 0);
  EXPECT_STREQ(value, "my b");
  int n = 7;
  EXPECT_EQ(ReadFileConfigInt(name, "engine", "Hash", &n), 0);  // case-sensitive
  EXPECT_EQ(n, 7);
  unlink(name);
  EXPECT_EQ(ReadFileConfigInt(name, "Engine", "Hash", &n), 0);  // no file
}
