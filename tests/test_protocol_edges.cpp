// End-to-end tests of what a user interface meets at the edges of the
// protocols, the program driven over pipes as a GUI drives it.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <fstream>

#include "tests/test_protocol_session.h"

namespace e2e {
namespace {

// The side not to move is in check: no position of a game.
const std::string kRefusedFen = "8/8/2k5/8/5K2/8/8/7Q w - - 0 1";

TEST(ProtocolEdges, RefusedPositionIsToldAndGetsNoMoveUntilAGoodOne) {
  Session s;
  s.handshake();
  for (const std::string& bad : {"fen " + kRefusedFen, std::string("startpos moves e2e4 e1e3")}) {
    s.sendAll({"position " + bad, "go wtime 1000 btime 1000"});
    Answer a = s.waitBestMove(scaled(5000));
    EXPECT_EQ(a.line, "bestmove 0000");
    EXPECT_EQ(a.infos, Lines{"info string refused " +
                             (bad[0] == 'f' ? "FEN: " + kRefusedFen : "move: e1e3")});
  }
  Referee r;
  s.sendAll({"position startpos", "go depth 2"});
  expectLegalAnswer(r, s.waitBestMove(scaled(10000)));
  Session w;
  w.xboard();
  w.sendAll({"force", "setboard " + kRefusedFen, "go", "e2e4"});
  EXPECT_EQ(w.ping(1),
            (Lines{"tellusererror Illegal position: " + kRefusedFen, "Illegal move: e2e4"}));
  w.sendAll({"setboard " + std::string(kStartFen), "sd 2", "go"});
  EXPECT_TRUE(r.legal(w.waitMove()));
}

TEST(ProtocolEdges, NoLegalMoveReportsItsTrueScore) {
  Session s;
  s.handshake();
  s.sendAll({"position fen 4k3/8/8/8/8/8/8/3QK3 w - - 0 1", "go depth 3"});  // a large score first
  ASSERT_TRUE(s.waitBestMove(scaled(10000)).arrived);
  for (auto c : {std::make_pair("7k/6Q1/6K1/8/8/8/8/8 b", " score mate 0 "),
                 std::make_pair("7k/5Q2/6K1/8/8/8/8/8 b", " score cp 0 ")}) {
    s.sendAll({std::string("position fen ") + c.first + " - - 0 1", "go depth 2"});
    Answer a = s.waitBestMove(scaled(10000));
    EXPECT_EQ(a.line, "bestmove 0000");
    for (const auto& l : a.infos) EXPECT_NE(l.find(c.second), std::string::npos) << l;
  }
}

TEST(ProtocolEdges, OptionNamesAndCheckValuesInAnyCase) {
  Session s;
  s.handshake();
  s.sendAll({"setoption name ponder value TRUE", "position startpos", "go depth 4"});
  EXPECT_FALSE(s.waitBestMove(scaled(10000)).ponder.empty());
  s.sendAll({"setoption name BOOK FILE value /nonexistent/book.bin",
             "setoption name ownbook value True"});
  EXPECT_EQ(s.linesBefore("isready", "readyok"), Lines{"info string book file not found"});
  // A search repeated after "hash" counts as many nodes as one on a fresh
  // table, as after "Hash".
  std::string nodes[2];
  for (const char* name : {"Hash", "hash"}) {
    Session h;
    h.handshake();
    h.sendAll({"position startpos", "go depth 6",
               std::string("setoption name ") + name + " value 32", "position startpos",
               "go depth 6"});
    h.waitBestMove(scaled(10000));
    Lines infos = h.waitBestMove(scaled(10000)).infos;
    nodes[name[0] == 'h'] = infos.empty() ? "none" : words(infos.back())[9];
  }
  EXPECT_EQ(nodes[1], nodes[0]);
}

TEST(ProtocolEdges, LargeTableFeaturesComeFirstAndTheTableIsNotCleared) {
  char dir[] = "/tmp/quarvel-hash-XXXXXX";
  ASSERT_TRUE(mkdtemp(dir));
  std::ofstream(std::string(dir) + "/quarvel.ini") << "[Engine]\nHash=2048\n";
  testsupport::SpawnOptions options;
  options.workingDir = dir;
  Session s(options);
  EXPECT_EQ(s.xboard(), "feature done=0");
  EXPECT_NE(s.child().readLine(scaled(10000)).value_or("").find(" done=1 "), std::string::npos);
  // Neither the fresh table nor, after a think, the one of a new game needs
  // a clearing pass: the memory the search did not use stays untouched.
  auto residentKb = [&s]() {
    std::ifstream status("/proc/" + std::to_string(s.child().pid()) + "/status");
    std::string line;
    while (std::getline(status, line) && !startsWith(line, "VmRSS:")) {
    }
    return atol(line.c_str() + 6);
  };
  EXPECT_LT(residentKb(), 512 * 1024);
  s.sendAll({"new", "sd 4", "go"});
  EXPECT_TRUE(Referee().legal(s.waitMove()));
  s.send("new");
  s.ping(1);
  EXPECT_LT(residentKb(), 512 * 1024);
  unlink((std::string(dir) + "/quarvel.ini").c_str());
  rmdir(dir);
}

TEST(ProtocolEdges, WinboardDepthLimitKeepsTheClock) {
  Session s;
  s.xboard();
  // Two seconds for 40 moves: the clock, not "sd 30", ends the think.
  s.sendAll({"post", "level 40 0:02 0", "sd 30", "time 200", "otim 200", "go"});
  ASSERT_TRUE(Referee().legal(s.waitMove(scaled(2000))));
  // "st" and "level" keep "sd 3"; "new" lifts it.
  for (const Lines& limit : {Lines{"new", "sd 3", "st 30", "go"},
                             Lines{"new", "sd 3", "level 40 5 0", "time 30000", "go"},
                             Lines{"sd 3", "new", "st 1", "go"}}) {
    Lines said;
    s.sendAll(limit);
    ASSERT_TRUE(Referee().legal(s.waitMove(scaled(10000), &said)) && !said.empty()) << limit[2];
    int depth = atoi(said.back().c_str());
    EXPECT_TRUE(limit[0] == "new" ? depth == 3 : depth > 3) << limit[2] << ": " << said.back();
  }
}

}  // namespace
}  // namespace e2e
