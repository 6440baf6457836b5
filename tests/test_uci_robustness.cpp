// Hostile input for the UCI engine: thousands of random, truncated,
// over-long and malformed lines in every state, during thinks too. The
// engine must neither crash nor hang, and must still answer "isready" and
// play a legal move afterwards.
#include <gtest/gtest.h>

#include <random>
#include <thread>

#include "tests/test_uci_session.h"

namespace ucitest {
namespace {

#ifdef QUARVEL_SANITIZE
const int kLinesPerPhase = 150;
const int kFirstLineRuns = 10;
#else
const int kLinesPerPhase = 1000;
const int kFirstLineRuns = 40;
#endif

// Commands whose every prefix is harmless: none starts a think that only a
// command could end, or one that takes long (the carried-over mode of a
// truncated "go" is at most a few seconds, and "stop" lines are frequent).
const std::vector<std::string> kCommands = {
    "uci", "isready", "stop", "ponderhit", "ucinewgame", "debug on", "debug off",
    "position startpos", "position startpos moves e2e4 e7e5 g1f3 b8c6 f1b5",
    "position fen r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1 moves e1g1",
    "position fen 8/P6k/8/8/8/8/6K1/8 w - - 0 1 moves a7a8n",
    "position fen 7k/6Q1/6K1/8/8/8/8/8 b - - 0 1",
    "go depth 1", "go depth 2", "go nodes 300", "go movetime 20", "go wtime 100 btime 100",
    "go wtime 50 btime 60 winc 5 binc 5 movestogo 3", "go depth 3 searchmoves e2e4 d2d4",
    "perft 2", "divide 2", "perft 3",
    "setoption name Hash value 3", "setoption name Ponder value true",
    "setoption name Ponder value false", "setoption name OwnBook value true",
    "setoption name OwnBook value false", "setoption name Book File value /etc/passwd",
    "setoption name Book File value /nonexistent/book.bin",
};

// Lines built to hurt: bad FENs, illegal and malformed moves, numbers far
// outside every range, in places where they cannot make a think long.
const std::vector<std::string> kHostile = {
    "position fen", "position fen ", "position fen 8/8/8/8/8/8/8/8 w - - 0 1",
    "position fen kkkkkkkk/8/8/8/8/8/8/KKKKKKKK w - - 0 1",
    "position fen rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR x KQkq - 0 1",
    "position fen rnbqkbnr/pppppppp/9/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "position fen rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq e9 0 1",
    "position fen rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 999999999999 -5",
    "position fen 4k3/8/8/8/8/8/8/4K2R w KQkqKQkq - 0 1 moves e1g1 e1c1",
    "position fen QQQQQQQQ/QQQQQQQQ/QQQQQQQQ/QQQQQQQQ/QQQQQQQQ/QQQQQQQQ/QQQQQQQQ/K6k w - - 0 1",
    "position fen 3qk3/PPPPPPPP/8/8/8/8/pppppppp/3QK3 w - - 0 1",
    "position startpos moves e2e4 e2e4", "position startpos moves e7e5",
    "position startpos moves e2e4q", "position startpos moves e2e9 a0a1 i2i4 e2",
    "position startpos moves 0000 e2e4", "position startpos moves e1g1",
    "position startpos moves e2e4 e7e5 e1e2 e8e7 e2e1 e7e8 e1e2",
    "position startposmoves e2e4", "position startpos moves",
    "go nodes -99999999999999999999", "go nodes 0", "go movetime -1", "go movetime 0",
    "go depth -99999999999", "go depth 0", "go depth ", "go depth", "go wtime -1 btime -1",
    "go wtime -99999999999999999999999 btime -5 winc -9 binc 99999999999999 movestogo 1",
    "go movestogo -1 wtime 10 btime 10", "go movetime 99999999999999999999 depth 1",
    "go nodes 99999999999999999999 movetime 30", "go wtime 0 btime 0 movestogo 0",
    "go searchmoves a1a1 h8h8 mate 99999999999", "go mate 3 nodes 100",
    "perft 99999999999999999999", "perft -99999", "perft 64", "divide 99999999999",
    "divide -1", "divide 65", "perft", "divide", "perftx 2",
    "setoption name Hash value -1", "setoption name Hash value x", "setoption name",
    "setoption name Hash", "setoption name Ponder value", "setoption name  value",
    "setoption name OwnBook valuetrue", "isready\r", "stop\r", "QUIT", " quit",
    "quitx", "uci ", "isready ", "go\tdepth 1",
};

class Fuzzer {
public:
  explicit Fuzzer(unsigned seed) : rng_(seed) {}

  int below(int n) { return static_cast<int>(rng_() % static_cast<unsigned>(n)); }

  std::string randomBytes(int length) {
    std::string s;
    for (int i = 0; i < length; i++) {
      char c = static_cast<char>(below(256));
      if (c == '\n') c = ' ';
      s += c;
    }
    return s;
  }

  std::string printable(int length) {
    static const char alphabet[] = "abcdefgh12345678 /-rnbqkpRNBQKP0wx";
    std::string s;
    for (int i = 0; i < length; i++) s += alphabet[below(sizeof alphabet - 1)];
    return s;
  }

  std::string line() {
    switch (below(10)) {
      case 0:
        return randomBytes(below(200));
      case 1: {  // a command cut short
        const std::string& c = kCommands[below(kCommands.size())];
        return c.substr(0, below(c.size() + 1));
      }
      case 2: {  // a command with garbage behind it
        return kCommands[below(kCommands.size())] + " " + printable(below(80));
      }
      case 3:
        return kHostile[below(kHostile.size())];
      case 4: {  // a position with random move texts
        std::string s = "position startpos moves";
        for (int i = below(12); i > 0; i--) s += " " + printable(below(6));
        return s;
      }
      case 5: {  // a random FEN
        return "position fen " + printable(below(90)) + (below(2) ? " moves e2e4" : "");
      }
      case 6:
        if (below(8) == 0) return overLong();
        return printable(below(300));
      default:
        return kCommands[below(kCommands.size())];
    }
  }

  std::string overLong() {
    switch (below(4)) {
      case 0: {
        std::string s = "position startpos moves";
        while (s.size() < 90000) s += " g1f3 g8f6 f3g1 f6g8";
        return s;
      }
      case 1: {
        std::string s = "go";
        while (s.size() < 80000) s += " depth 1";
        return s;
      }
      case 2:
        return "setoption name Book File value " + std::string(100000, 'b');
      default:
        return printable(70000 + below(60000));
    }
  }

private:
  std::mt19937 rng_;
};

// Every line the engine writes has one of its known forms, and every move
// it names is written as a move.
void expectWellFormed(const std::vector<std::string>& lines) {
  for (const auto& l : lines) {
    auto w = words(l);
    if (startsWith(l, "bestmove ")) {
      ASSERT_GE(w.size(), 2u) << l;
      const std::string& m = w[1];
      EXPECT_TRUE(m == "0000" || ((m.size() == 4 || m.size() == 5) && m[0] >= 'a' &&
                                  m[0] <= 'h' && m[1] >= '1' && m[1] <= '8'))
          << l;
      continue;
    }
    bool known = startsWith(l, "info ") || l == "readyok" || l == "uciok" ||
                 startsWith(l, "id ") || startsWith(l, "option name ") ||
                 startsWith(l, "depth |") || (w.size() == 8 && w[0].back() == '.') ||
                 (w.size() == 3 && w[1] == ":");
    EXPECT_TRUE(known) << "unexpected line: " << l;
  }
}

// Sends a batch of fuzz lines, collecting what comes back meanwhile.
void sendBatch(Session& s, Fuzzer& f, int count, std::vector<std::string>& out) {
  for (int i = 0; i < count; i++) {
    ASSERT_TRUE(s.send(f.line())) << "engine stopped reading: "
                                  << s.child().wait(Millis(1000)).describe() << s.child().stderrText();
    while (auto l = s.child().readLine(Millis(0))) out.push_back(*l);
  }
}

// "isready" must be answered, whatever runs.
void expectResponsive(Session& s, std::vector<std::string>& out) {
  ASSERT_TRUE(s.ready(Millis(20000), &out)) << "no readyok";
  ASSERT_TRUE(s.child().running());
}

// Stops whatever runs and lets every line kept back run: a perft of a
// position of our own, sent last, answers only once all of them have run
// and no think runs any more.
void settle(Session& s, std::vector<std::string>& out) {
  const std::string fen = "3k4/8/8/8/8/8/8/QQ2K3 w - - 0 1";
  Referee r;
  ASSERT_TRUE(r.setFen(fen));
  const std::string count = std::to_string(r.legalMoveCount());
  s.send("stop");
  s.send("position fen " + fen);
  s.send("perft 1");
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
  std::vector<std::string> out;

  // Idle, during a timed think, during an infinite think, during a ponder
  // search; each time the engine must still answer and play.
  const std::vector<std::string> starts = {"", "go movetime 3000", "go infinite",
                                           "go ponder wtime 5000 btime 5000"};
  for (const auto& start : starts) {
    s.send("position fen r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP1B1PPP/R2QKB1R w KQ - 0 8");
    if (!start.empty()) s.send(start);
    sendBatch(s, f, kLinesPerPhase, out);
    if (HasFatalFailure()) return;
    expectResponsive(s, out);
    if (HasFatalFailure()) return;
    settle(s, out);
    if (HasFatalFailure()) return;

    Referee r;
    r.setStart();
    r.play("e2e4");
    s.send("position startpos moves e2e4");
    s.send("go depth 3");
    Answer a = s.waitBestMove(Millis(20000));
    expectLegalAnswer(r, a);
    out.insert(out.end(), a.infos.begin(), a.infos.end());
  }
  expectWellFormed(out);
  EXPECT_TRUE(quitCleanly(s.quit()));
  EXPECT_EQ(s.child().stderrText(), "");
}

TEST(UciRobustness, GarbageBeforeTheProtocolEndsTheProgramQuietly) {
  Fuzzer f(7);
  for (int run = 0; run < kFirstLineRuns; run++) {
    std::string first = f.line();
    if (first.empty() || first == "uci") continue;
    auto r = testsupport::runCommand({testsupport::programPath()}, Millis(10000),
                                     first + "\nuci\nisready\n");
    EXPECT_TRUE(r.status.exited && r.status.code == 1) << r.status.describe();
    EXPECT_EQ(r.out.find("uciok"), std::string::npos);
    EXPECT_EQ(r.err, "");
  }
}

TEST(UciRobustness, LinesInOneWriteAndInPieces) {
  // However the lines are grouped or split by the pipe, each is read whole
  // and seen by the running think.
  Session s;
  s.handshake();
  Referee r;
  r.setStart();
  ASSERT_TRUE(s.child().write("position startpos\ngo infinite\nisready\n"));
  EXPECT_TRUE(s.waitFor("readyok", scaled(500)));
  ASSERT_TRUE(s.child().write("sto"));
  std::this_thread::sleep_for(Millis(100));
  EXPECT_TRUE(s.silentFor("bestmove", Millis(200)));
  ASSERT_TRUE(s.child().write("p\nisre"));
  expectLegalAnswer(r, s.waitBestMove(scaled(1000)));
  ASSERT_TRUE(s.child().write("ady\n"));
  EXPECT_TRUE(s.waitFor("readyok", Millis(2000)));
  EXPECT_TRUE(quitCleanly(s.quit()));
}

}  // namespace
}  // namespace ucitest
