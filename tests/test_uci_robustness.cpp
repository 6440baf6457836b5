// Hostile input for the UCI engine: thousands of random, truncated,
// over-long and malformed lines in every state, during thinks too. The
// engine must neither crash nor hang, and must still answer "isready" and
// play a legal move afterwards.
#include <gtest/gtest.h>

#include <random>

#include "tests/test_protocol_session.h"

namespace e2e {
namespace {

#ifdef QUARVEL_SANITIZE
const int kLinesPerState = 400;
#else
const int kLinesPerState = 1000;
#endif

// Commands whose every prefix is harmless: none starts a think that only a
// command could end, or one that takes long.
const std::vector<std::string> kCommands = {
    "uci",
    "isready",
    "stop",
    "ponderhit",
    "ucinewgame",
    "debug on",
    "position startpos",
    "position startpos moves e2e4 e7e5 g1f3 b8c6 f1b5",
    "position fen r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1 moves e1g1",
    "position fen 8/P6k/8/8/8/8/6K1/8 w - - 0 1 moves a7a8n",
    "position fen 7k/6Q1/6K1/8/8/8/8/8 b - - 0 1",
    "go depth 2",
    "go nodes 300",
    "go movetime 20",
    "go wtime 50 btime 60 winc 5 binc 5 movestogo 3",
    "go depth 3 searchmoves e2e4 d2d4",
    "perft 2",
    "divide 2",
    "setoption name Hash value 3",
    "setoption name Ponder value true",
    "setoption name Ponder value false",
    "setoption name OwnBook value true",
    "setoption name OwnBook value false",
    "setoption name Book File value /etc/passwd"};

// Lines built to hurt: bad FENs, illegal and malformed moves, numbers far
// outside every range, in places where they cannot make a think long.
const std::vector<std::string> kHostile = {
    "position fen",
    "position fen 8/8/8/8/8/8/8/8 w - - 0 1",
    "position fen kkkkkkkk/8/8/8/8/8/8/KKKKKKKK w - - 0 1",
    "position fen rnbqkbnr/pppppppp/9/8/8/8/PPPPPPPP/RNBQKBNR x KQkq e9 999999999999 -5",
    "position fen 4k3/8/8/8/8/8/8/4K2R w KQkqKQkq - 0 1 moves e1g1 e1c1",
    "position fen QQQQQQQQ/QQQQQQQQ/QQQQQQQQ/QQQQQQQQ/QQQQQQQQ/QQQQQQQQ/QQQQQQQQ/K6k w - - 0 1",
    "position fen 3qk3/PPPPPPPP/8/8/8/8/pppppppp/3QK3 w - - 0 1",
    "position startpos moves e2e4 e2e4",
    "position startpos moves e2e4q e2e9 a0a1 i2i4 e2",
    "position startpos moves 0000 e2e4",
    "position startpos moves e1g1",
    "go nodes -99999999999999999999",
    "go movetime -1",
    "go movetime 0",
    "go depth -99999999999",
    "go depth ",
    "go wtime -99999999999999999999999 btime -5 winc -9 binc 99999999999999 movestogo 1",
    "go movetime 99999999999999999999 depth 1",
    "go nodes 99999999999999999999 movetime 30",
    "go searchmoves a1a1 h8h8 mate 99999999999",
    "perft 99999999999999999999",
    "perft -99999",
    "divide 65",
    "setoption name Hash value -1",
    "setoption name Hash value x",
    "setoption name  value",
    "isready\r",
    "stop\r",
    "QUIT",
    " quit now",
    "quitx",
    "go\tdepth 1"};

class Fuzzer {
public:
  explicit Fuzzer(unsigned seed) : rng_(seed) {}

  int below(size_t n) { return static_cast<int>(rng_() % n); }

  // Random characters of moves and FENs, or any byte but the line feed.
  std::string text(int length, bool binary = false) {
    static const char alphabet[] = "abcdefgh12345678 /-rnbqkpRNBQKP0wx";
    std::string s;
    while (length-- > 0) {
      char c = binary ? static_cast<char>(below(256)) : alphabet[below(sizeof alphabet - 1)];
      s += c == '\n' ? ' ' : c;
    }
    return s;
  }

  std::string line() {
    const std::string& command = kCommands[below(kCommands.size())];
    std::string s;
    switch (below(11)) {
      case 0: return text(below(200), true);
      case 1: return command.substr(0, below(command.size() + 1));  // cut short
      case 2: return command + " " + text(below(80));               // garbage behind
      case 3: return kHostile[below(kHostile.size())];
      case 4:
        for (s = "position startpos moves"; below(12);) s += " " + text(below(6));
        return s;
      case 5: return "position fen " + text(below(90)) + (below(2) ? " moves e2e4" : "");
      case 6: return text(below(300));
      case 7:  // over-long lines, whose tails must not be read as commands
        switch (below(4)) {
          case 0:
            for (s = "position startpos moves"; s.size() < 90000;) s += " g1f3 g8f6 f3g1 f6g8";
            return s;
          case 1:
            for (s = "go"; s.size() < 80000;) s += " depth 1";
            return s;
          case 2: return "setoption name Book File value " + std::string(100000, 'b');
          default: return text(70000 + below(60000));
        }
      default: return command;
    }
  }

private:
  std::mt19937 rng_;
};

// Stops whatever runs and lets every line kept back run: a perft of a
// position of our own, sent last, answers only once all of them have run
// and no think runs any more.
void settle(Session& s, Lines& out) {
  const std::string fen = "3k4/8/8/8/8/8/8/QQ2K3 w - - 0 1";
  const std::string count = std::to_string(Referee(fen).legalMoveCount());
  s.sendAll({"stop", "position fen " + fen, "perft 1"});
  auto ours = [&count](const std::string& l) {
    auto w = words(l);
    return w.size() == 8 && w[0] == "1." && w[1] == count;
  };
  for (int tries = 0; tries < 60; tries++) {
    if (s.child().readUntil(ours, Millis(1000), &out)) return;
    s.send("stop");
  }
  FAIL() << "the engine never settled";
}

TEST(UciRobustness, HostileLinesInEveryState) {
  Fuzzer f(20240611);
  Session s;
  s.handshake();
  Lines out;
  // Idle, during a timed think, an infinite think and a ponder search: each
  // time the engine must still answer and play.
  for (const char* start :
       {"", "go movetime 3000", "go infinite", "go ponder wtime 5000 btime 5000"}) {
    s.sendAll({std::string("position fen ") + kMiddlegame, start});
    for (int i = 0; i < kLinesPerState; i++) {
      ASSERT_TRUE(s.send(f.line()))
          << "engine stopped reading: " << s.child().wait(Millis(1000)).describe()
          << s.child().stderrText();
      while (auto l = s.child().readLine(Millis(0))) out.push_back(*l);
    }
    ASSERT_TRUE(s.ready(Millis(20000), &out)) << "no readyok after the lines, " << start;
    settle(s, out);
    if (HasFatalFailure()) return;
    Referee r;
    r.play("e2e4");
    s.sendAll({"position startpos moves e2e4", "go depth 3"});
    expectLegalAnswer(r, s.waitBestMove(Millis(20000)));
  }
  EXPECT_TRUE(endedCleanly(s.quit()));
  EXPECT_EQ(s.child().stderrText(), "");
}

TEST(UciRobustness, LinesInOneWriteAndInPieces) {
  // However the pipe groups or splits the lines, each is read whole and
  // seen by the running think.
  Session s;
  s.handshake();
  Referee r;
  ASSERT_TRUE(s.child().write("position startpos\ngo infinite\nstop\n"));
  expectLegalAnswer(r, s.waitBestMove(scaled(1000)));
  ASSERT_TRUE(s.child().write("position startpos\ngo infinite\nisready\n"));
  EXPECT_TRUE(s.waitFor("readyok", scaled(1000)));
  ASSERT_TRUE(s.child().write("sto"));
  EXPECT_TRUE(s.silentFor("bestmove", Millis(300)));
  ASSERT_TRUE(s.child().write("p\nisre"));
  expectLegalAnswer(r, s.waitBestMove(scaled(1000)));
  ASSERT_TRUE(s.child().write("ady\n"));
  EXPECT_TRUE(s.waitFor("readyok", Millis(2000)));
  EXPECT_TRUE(endedCleanly(s.quit()));
}

}  // namespace
}  // namespace e2e
