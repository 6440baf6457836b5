// The perft and divide tools run as the real program, and the
// configuration reader they take the table size from.
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
using testsupport::runCommand;

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
    if (FILE* f = fopen(ini().c_str(), "w")) {
      fputs("[Engine]\nHash=4\n", f);
      fclose(f);
    }
  }
  ~SmallTableDir() {
    if (path.empty()) return;
    unlink(ini().c_str());
    rmdir(path.c_str());
  }
  std::string ini() const { return path + "/quarvel.ini"; }
};

const std::string& smallTableDir() {
  static const SmallTableDir dir;
  return dir.path;
}

CommandResult run(std::vector<std::string> args, int seconds = 60) {
  args.insert(args.begin(), testsupport::programPath());
  testsupport::SpawnOptions options;
  options.workingDir = smallTableDir();
  return runCommand(args, std::chrono::seconds(seconds), std::string(), options);
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) out.push_back(line);
  return out;
}

// A process that ended by itself with this exit code.
void expectExit(const CommandResult& r, int code) {
  EXPECT_TRUE(r.status.exited) << r.status.describe() << r.err;
  EXPECT_EQ(r.status.code, code) << r.status.describe() << r.err;
  EXPECT_EQ(r.err, "");
}

}  // namespace

TEST(ToolsCli, PerftPrintsTheTable) {
  // Without a configuration file: the default table.
  CommandResult r = runCommand({testsupport::programPath(), "-perft", "4"},
                               std::chrono::seconds(60));
  expectExit(r, 1);
  std::vector<std::string> out = lines(r.out);
  ASSERT_EQ(out.size(), 5u) << r.out;
  EXPECT_EQ(out[0], HEADER);
  EXPECT_EQ(out[1], " 1.           20            0            0            0            0            0            0");
  EXPECT_EQ(out[2], " 2.          400            0            0            0            0            0            0");
  EXPECT_EQ(out[3], " 3.         8902           34            0           12            0            0            0");
  EXPECT_EQ(out[4], " 4.       197281         1576            0          469            8            0            0");
}

TEST(ToolsCli, PerftOfAFen) {
  CommandResult r = run({"-perft", "3", "-fen", KIWIPETE});
  expectExit(r, 1);
  std::vector<std::string> out = lines(r.out);
  ASSERT_EQ(out.size(), 4u) << r.out;
  EXPECT_EQ(out[1], " 1.           48            8            0            0            0            0            2");
  EXPECT_EQ(out[2], " 2.         2039          351            1            3            0            0           91");
  EXPECT_EQ(out[3], " 3.        97862        17102           45          993            1            0         3162");
}

TEST(ToolsCli, DivideListsTheFirstMoves) {
  CommandResult r = run({"-divide", "2"});
  expectExit(r, 1);
  std::vector<std::string> out = lines(r.out);
  ASSERT_EQ(out.size(), 20u) << r.out;
  EXPECT_EQ(out[0], "      Nb1-a3 :           20");
  EXPECT_EQ(out[19], "       h2-h4 :           20");
  unsigned long long sum = 0;
  for (const std::string& l : out) sum += std::stoull(l.substr(15));
  EXPECT_EQ(sum, 400u);

  // Only legal first moves: the pinned knight gets no row.
  r = run({"-divide", "2", "-fen", "4k3/4r3/8/8/8/8/4N3/4K3 w - - 0 1"});
  expectExit(r, 1);
  out = lines(r.out);
  ASSERT_EQ(out.size(), 4u) << r.out;
  for (const std::string& l : out) EXPECT_EQ(l.substr(0, 9), "      Ke1") << l;
}

TEST(ToolsCli, BadFenIsReportedCleanly) {
  for (const char* fen : {"", "xyz", "8/8/8/8/8/8/8/8 w - - 0 1",
                          "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",
                          "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR/8/8/8/8/8 w - - 0 1",
                          "\xff\xfe\x80 w - - 0 1"}) {
    for (const char* tool : {"-perft", "-divide"}) {
      CommandResult r = run({tool, "3", "-fen", fen});
      expectExit(r, 0);
      EXPECT_EQ(r.out, "Bad FEN string !\n") << tool << " " << fen;
    }
  }
}

TEST(ToolsCli, DepthsOutsideTheRange) {
  for (const char* depth : {"0", "-5", "abc", "64", "99999999999999999999"}) {
    CommandResult r = run({"-perft", depth});
    expectExit(r, 1);
    EXPECT_EQ(r.out, std::string(HEADER) + "\n") << depth;
  }
  for (const char* depth : {"0", "-1", "xyz", "65", "-99999999999999999999"}) {
    CommandResult r = run({"-divide", depth});
    expectExit(r, 1);
    EXPECT_EQ(r.out, "") << depth;
  }
  // A depth with trailing text reads as its number.
  CommandResult r = run({"-perft", "1x"});
  expectExit(r, 1);
  EXPECT_EQ(lines(r.out).size(), 2u);
}

// Argument lists that name no tool start no count, and end cleanly when
// no input comes.
TEST(ToolsCli, OtherArgumentsRunNoTool) {
  const std::vector<std::vector<std::string>> cases = {
      {"-perft"},
      {"-perft", "2", "-fen"},
      {"-perft", "2", "-xen", KIWIPETE},
      {"-divide", "2", "-fen", KIWIPETE, "extra"},
      {"-Perft", "2"},
  };
  for (const auto& args : cases) {
    CommandResult r = run(args, 20);
    EXPECT_TRUE(r.status.exited) << r.status.describe();
    EXPECT_EQ(r.out.find("depth |"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find(" : "), std::string::npos) << r.out;
  }
}

// ---- configuration reader ----

namespace {

class ConfigFile : public ::testing::Test {
protected:
  std::string path;
  void SetUp() override {
    char name[] = "/tmp/quarvel-config-XXXXXX";
    int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    close(fd);
    path = name;
  }
  void TearDown() override { unlink(path.c_str()); }
  void write(const std::string& text) {
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
  }
  int hash(int preset = 128) {
    int size = preset;
    ReadFileConfigInt(path.c_str(), "Engine", "Hash", &size);
    return size;
  }
};

}  // namespace

TEST_F(ConfigFile, ReadsKeysOfTheSection) {
  write("Hash=1\n[Other]\nHash=2\n[Engine]\nBook=1\nHash=64MB\nHash=32\nBookFile=my book.bin\n");
  EXPECT_EQ(hash(), 64);
  char value[256] = "untouched";
  EXPECT_EQ(ReadFileConfigString(path.c_str(), "Engine", "BookFile", value), 1);
  EXPECT_STREQ(value, "my book.bin");
  EXPECT_EQ(ReadFileConfigString(path.c_str(), "Engine", "Missing", value), 0);
  EXPECT_STREQ(value, "my book.bin");
  int n = 7;
  EXPECT_EQ(ReadFileConfigInt(path.c_str(), "Engine", "Missing", &n), 0);
  EXPECT_EQ(n, 7);
  EXPECT_EQ(ReadFileConfigInt(path.c_str(), "engine", "Hash", &n), 0);   // case-sensitive
}

TEST_F(ConfigFile, KeysAreTakenAsWritten) {
  write("[Engine]\nHash =16\n");
  EXPECT_EQ(hash(), 128);   // "Hash " is another key
  write("[Engine]\r\nHash=16\r\n");
  EXPECT_EQ(hash(), 16);
  write("[Engine]\nHash=abc\n");
  EXPECT_EQ(hash(), 0);
  write("[Engine]\nHash= 24 \n");
  EXPECT_EQ(hash(), 24);
  write("[Engine]\n[Other]\nHash=12\n");   // the wanted section goes on
  EXPECT_EQ(hash(), 12);
  write("[\n[Engine\nHash=12\n");           // no wanted header at all
  EXPECT_EQ(hash(), 128);
  write("[Engine]\nHash=99999999999999999999\n");
  EXPECT_EQ(hash(), 2147483647);
}

TEST_F(ConfigFile, ControlAndHighBytesEndALine) {
  write("[Engine]\nBookFile=ab\x80" "cd\nHash=4\tx\n");
  char value[256];
  ASSERT_EQ(ReadFileConfigString(path.c_str(), "Engine", "BookFile", value), 1);
  EXPECT_STREQ(value, "ab");
  EXPECT_EQ(hash(), 4);
  // A line longer than the read buffer is read in pieces, never past it.
  write("[Engine]\nBookFile=" + std::string(600, 'x') + "\nHash=8\n");
  ASSERT_EQ(ReadFileConfigString(path.c_str(), "Engine", "BookFile", value), 1);
  EXPECT_EQ(std::string(value).size(), 255u - 9u);
  EXPECT_EQ(hash(), 8);
  unlink(path.c_str());
  EXPECT_EQ(hash(), 128);   // no file
}
