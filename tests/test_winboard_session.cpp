// End-to-end WinBoard tests: the real program driven over pipes as xboard
// drives it, its standard input kept open between commands. Every move the
// engine writes is checked against a board of our own that follows the
// game.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/test_uci_session.h"

namespace wbtest {
namespace {

using testsupport::ChildProcess;
using testsupport::Millis;
using ucitest::Referee;
using ucitest::scaled;
using ucitest::startsWith;
using ucitest::words;

const std::string kFeatureLine =
    "feature setboard=1 myname=\"Quarvel 1.3b\" analyze=1 ping=1 draw=0 sigint=0 "
    "variants=\"normal\" done=1 colors=0";

bool isMoveLine(const std::string& line) { return startsWith(line, "move "); }

class WinboardSession {
public:
  WinboardSession() : child_(testsupport::programPath(), {}) {}

  ChildProcess& child() { return child_; }
  bool send(const std::string& line) { return child_.writeLine(line); }

  // "xboard" and "protover 2"; returns the first line after the banner.
  std::string handshake() {
    auto banner = child_.readLine(Millis(10000));
    EXPECT_TRUE(banner.has_value()) << "no banner";
    send("xboard");
    send("protover 2");
    auto feature = child_.readLine(Millis(10000));
    return feature ? *feature : std::string("<nothing>");
  }

  // "ping n" answered with "pong n"; the lines before it go to skipped.
  bool ping(int n, Millis timeout = Millis(20000), std::vector<std::string>* skipped = nullptr) {
    send("ping " + std::to_string(n));
    std::string pong = "pong " + std::to_string(n);
    return child_.readUntil([&](const std::string& l) { return l == pong; }, timeout, skipped)
        .has_value();
  }

  // The move of the next "move" line, "" when none arrives in time.
  std::string waitMove(Millis timeout, std::vector<std::string>* skipped = nullptr) {
    auto line = child_.readUntil(isMoveLine, timeout, skipped);
    if (!line) return "";
    auto w = words(*line);
    return w.size() == 2 ? w[1] : "<bad move line: " + *line + ">";
  }

  testsupport::ExitStatus quit() {
    send("quit");
    child_.closeStdin();
    return child_.wait(Millis(20000));
  }

private:
  ChildProcess child_;
};

std::vector<std::string> linesStartingWith(const std::vector<std::string>& lines,
                                           const std::string& prefix) {
  std::vector<std::string> found;
  for (const auto& l : lines)
    if (startsWith(l, prefix)) found.push_back(l);
  return found;
}

// The moves of a thinking line "depth score time nodes pv...".
std::vector<std::string> thinkingPv(const std::string& line) {
  auto w = words(line);
  return w.size() > 4 ? std::vector<std::string>(w.begin() + 4, w.end())
                      : std::vector<std::string>();
}

TEST(WinboardSession, FeatureLinePingAndSecondXboard) {
  WinboardSession s;
  EXPECT_EQ(s.handshake(), kFeatureLine);
  std::vector<std::string> before;
  ASSERT_TRUE(s.ping(7, Millis(10000), &before));
  // "accepted" lines and the like are taken silently.
  s.send("accepted setboard");
  s.send("rejected foo");
  ASSERT_TRUE(s.ping(8, Millis(10000), &before));
  EXPECT_TRUE(before.empty()) << before[0];

  // A second "xboard" builds a new engine and announces it again; the
  // engine then plays from the start position.
  s.send("xboard");
  auto again = s.child().readLine(Millis(10000));
  ASSERT_TRUE(again);
  EXPECT_EQ(*again, kFeatureLine);
  s.send("sd 2");
  s.send("go");
  Referee r;
  r.setStart();
  EXPECT_TRUE(r.legal(s.waitMove(scaled(10000))));
  EXPECT_TRUE(ucitest::quitCleanly(s.quit()));
}

TEST(WinboardSession, UserMovesAreAnsweredWithLegalMovesUnderTheClock) {
  WinboardSession s;
  s.handshake();
  s.send("new");
  s.send("random");
  s.send("level 40 0:10 0");
  s.send("post");
  s.send("computer");
  Referee r;
  r.setStart();
  for (const char* user : {"e2e4", "d2d4"}) {
    // The user's move is the legal one of the position we know of: the
    // engine's board must agree, or it answers "Illegal move".
    if (!r.legal(user)) continue;
    s.send("time 1000");
    s.send("otim 1000");
    s.send(user);
    ASSERT_TRUE(r.play(user));
    std::vector<std::string> thinking;
    std::string reply = s.waitMove(scaled(10000), &thinking);
    ASSERT_TRUE(r.legal(reply)) << "reply " << reply << " to " << user;
    EXPECT_TRUE(linesStartingWith(thinking, "Illegal").empty());
    EXPECT_FALSE(thinking.empty()) << "no thinking output with post";
    for (const auto& t : thinking) EXPECT_TRUE(r.legalLine(thinkingPv(t))) << t;
    ASSERT_TRUE(r.play(reply));
  }
  // A refused move is answered and changes nothing.
  s.send("e2e5");
  auto refused = s.child().readLine(scaled(10000));
  ASSERT_TRUE(refused);
  EXPECT_EQ(*refused, "Illegal move: e2e5");
  EXPECT_TRUE(s.ping(1));
  EXPECT_TRUE(ucitest::quitCleanly(s.quit()));
}

TEST(WinboardSession, ForceModeIsSilentAndGoPlaysTheSideToMove) {
  WinboardSession s;
  s.handshake();
  s.send("new");
  s.send("sd 3");
  s.send("force");
  Referee r;
  r.setStart();
  for (const char* m : {"e2e4", "e7e5", "g1f3"}) {
    s.send(m);
    ASSERT_TRUE(r.play(m));
  }
  std::vector<std::string> said;
  ASSERT_TRUE(s.ping(1, scaled(10000), &said));
  EXPECT_TRUE(said.empty()) << said[0];

  // Black is to move: "go" makes the engine play it.
  s.send("go");
  std::string reply = s.waitMove(scaled(10000));
  ASSERT_TRUE(r.play(reply)) << reply;
  EXPECT_TRUE(ucitest::quitCleanly(s.quit()));
}

TEST(WinboardSession, UndoAndRemoveKeepTheBoardWithTheGui) {
  WinboardSession s;
  s.handshake();
  s.send("new");
  s.send("sd 2");
  s.send("e2e4");
  std::string reply = s.waitMove(scaled(10000));
  ASSERT_FALSE(reply.empty());

  // "remove": the user takes back his move and the engine's reply; e2e4 is
  // then legal again, and the engine answers it.
  s.send("remove");
  s.send("e2e4");
  Referee r;
  r.setStart();
  ASSERT_TRUE(r.play("e2e4"));
  std::vector<std::string> said;
  reply = s.waitMove(scaled(10000), &said);
  EXPECT_TRUE(linesStartingWith(said, "Illegal").empty());
  ASSERT_TRUE(r.play(reply)) << reply;

  // "undo" in force mode takes back one move at a time.
  s.send("force");
  s.send("undo");
  s.send("undo");
  s.send("d2d4");
  s.send("undo");
  s.send("c2c4");
  said.clear();
  ASSERT_TRUE(s.ping(2, scaled(10000), &said));
  EXPECT_TRUE(said.empty()) << said[0];
  s.send("go");
  Referee c4;
  c4.setStart();
  ASSERT_TRUE(c4.play("c2c4"));
  EXPECT_TRUE(c4.legal(s.waitMove(scaled(10000))));
  EXPECT_TRUE(ucitest::quitCleanly(s.quit()));
}

TEST(WinboardSession, PonderingSeesClocksAndMovesWrittenTogether) {
  WinboardSession s;
  s.handshake();
  s.send("new");
  s.send("hard");
  s.send("nopost");
  // Five minutes for 40 moves: a think spends several seconds unless the
  // engine's own clock ("time") says it has almost nothing left.
  s.send("level 40 5 0");
  s.send("time 100");
  s.send("otim 30000");
  s.send("e2e4");
  Referee r;
  r.setStart();
  ASSERT_TRUE(r.play("e2e4"));
  std::vector<std::string> said;
  std::string reply = s.waitMove(scaled(20000), &said);
  ASSERT_TRUE(r.play(reply)) << reply;
  auto hint = s.child().readLine(scaled(5000));
  ASSERT_TRUE(hint);
  ASSERT_TRUE(startsWith(*hint, "Hint: ")) << *hint;
  std::string expected = hint->substr(6);
  ASSERT_TRUE(r.legal(expected)) << *hint;

  // 1. A ponder miss: clocks, a move other than the hint and a ping in one
  //    write. The reply comes at once (one second left), then the pong.
  std::string other;
  for (const char* m : {"d2d4", "g1f3", "b1c3", "a2a3"})
    if (m != expected && r.legal(m)) {
      other = m;
      break;
    }
  ASSERT_FALSE(other.empty());
  ucitest::Clock::time_point start = ucitest::Clock::now();
  ASSERT_TRUE(s.child().write("time 100\notim 29000\n" + other + "\nping 5\n"));
  ASSERT_TRUE(r.play(other));
  said.clear();
  reply = s.waitMove(scaled(20000), &said);
  EXPECT_LT(ucitest::millisSince(start), 3000 * ucitest::kSlowdown) << "\"time\" not seen";
  EXPECT_TRUE(linesStartingWith(said, "Illegal").empty());
  ASSERT_TRUE(r.play(reply)) << reply;
  said.clear();
  ASSERT_TRUE(s.child()
                  .readUntil([](const std::string& l) { return l == "pong 5"; }, scaled(10000),
                             &said)
                  .has_value());
  auto hints = linesStartingWith(said, "Hint: ");
  ASSERT_EQ(hints.size(), 1u);
  expected = hints[0].substr(6);
  ASSERT_TRUE(r.legal(expected)) << hints[0];

  // 2. A ponder hit, written the same way: the search on the expected
  //    reply goes on as the real think and answers with a legal move.
  ASSERT_TRUE(s.child().write("time 100\notim 28000\n" + expected + "\nping 6\n"));
  ASSERT_TRUE(r.play(expected));
  said.clear();
  reply = s.waitMove(scaled(20000), &said);
  EXPECT_TRUE(linesStartingWith(said, "Illegal").empty());
  ASSERT_TRUE(r.play(reply)) << reply;
  EXPECT_TRUE(s.child()
                  .readUntil([](const std::string& l) { return l == "pong 6"; }, scaled(10000))
                  .has_value());

  // 3. "force" during the ponder search: the pondered move is taken back
  //    and nothing is played; the board is the GUI's.
  s.send("force");
  said.clear();
  ASSERT_TRUE(s.ping(7, scaled(10000), &said));
  EXPECT_TRUE(linesStartingWith(said, "move").empty());
  s.send("sd 2");
  s.send("go");
  EXPECT_TRUE(r.legal(s.waitMove(scaled(10000))));
  EXPECT_TRUE(ucitest::quitCleanly(s.quit()));
}

TEST(WinboardSession, AnalysisFollowsMovesAndExitsSilently) {
  WinboardSession s;
  s.handshake();
  s.send("new");
  s.send("st 1");
  s.send("force");
  s.send("post");
  s.send("analyze");
  Referee r;
  r.setStart();
  std::vector<std::string> said;
  ASSERT_TRUE(s.child().readUntil([](const std::string& l) { return startsWith(l, "3 "); },
                                  scaled(10000), &said));

  // A move during the analysis: the analysis goes on in the new position
  // (its first lines may come before the pong).
  s.send("e2e4");
  ASSERT_TRUE(r.play("e2e4"));
  said.clear();
  ASSERT_TRUE(s.ping(1, scaled(10000), &said));
  auto analysedAfterE4 = [&](const std::string& l) {
    return startsWith(l, "3 ") && r.legalLine(thinkingPv(l));
  };
  bool found = false;
  for (const auto& l : said) found = found || analysedAfterE4(l);
  if (!found) found = s.child().readUntil(analysedAfterE4, scaled(10000)).has_value();
  ASSERT_TRUE(found) << "no analysis of the position after e2e4";

  // "undo" and "remove" too. Each line ends the analysis under way and
  // starts it again on the new position, so the lines after the pong are
  // those of the start position.
  s.send("e7e5");
  s.send("g1f3");
  s.send("remove");
  s.send("undo");
  ASSERT_TRUE(s.ping(2, scaled(10000), &said));
  Referee start;
  start.setStart();
  said.clear();
  auto line = s.child().readUntil([](const std::string& l) { return !thinkingPv(l).empty(); },
                                  scaled(10000), &said);
  ASSERT_TRUE(line) << "no analysis after undo";
  said.push_back(*line);
  for (const auto& t : said) EXPECT_TRUE(start.legalLine(thinkingPv(t))) << t;

  // "exit" ends it without a move; the limit from before ("st 1") is back.
  s.send("exit");
  said.clear();
  ASSERT_TRUE(s.ping(3, scaled(10000), &said));
  EXPECT_TRUE(linesStartingWith(said, "move").empty());
  EXPECT_TRUE(linesStartingWith(said, "Illegal").empty());
  s.send("go");
  ucitest::Clock::time_point t = ucitest::Clock::now();
  EXPECT_TRUE(start.legal(s.waitMove(scaled(10000))));
  EXPECT_LT(ucitest::millisSince(t), 3000 * ucitest::kSlowdown);
  EXPECT_TRUE(ucitest::quitCleanly(s.quit()));
}

TEST(WinboardSession, MateByTheUserLeavesTheEngineWaiting) {
  // Fool's mate, delivered in force mode and in a played game: the engine
  // says nothing, goes on answering, and can take the mate back.
  for (bool force : {true, false}) {
    WinboardSession s;
    s.handshake();
    s.send("new");
    s.send("sd 2");
    if (force) {
      s.send("force");
      for (const char* m : {"f2f3", "e7e5", "g2g4", "d8h4"}) s.send(m);
    } else {
      s.send("setboard rnbqkbnr/pppp1ppp/8/4p3/6P1/5P2/PPPPP2P/RNBQKBNR b KQkq - 0 2");
      s.send("d8h4");
    }
    std::vector<std::string> said;
    ASSERT_TRUE(s.ping(3, scaled(10000), &said)) << (force ? "force" : "played");
    EXPECT_TRUE(said.empty()) << said[0];
    s.send("go");
    ASSERT_TRUE(s.ping(4, scaled(10000), &said));
    EXPECT_TRUE(said.empty()) << said[0];
    // After the take-back Black, on move, has moves again.
    s.send("undo");
    s.send("go");
    Referee r;
    r.setFen("rnbqkbnr/pppp1ppp/8/4p3/6P1/5P2/PPPPP2P/RNBQKBNR b KQkq - 0 2");
    EXPECT_TRUE(r.legal(s.waitMove(scaled(10000))));
    EXPECT_TRUE(ucitest::quitCleanly(s.quit()));
  }
}

}  // namespace
}  // namespace wbtest
