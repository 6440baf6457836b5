// End-to-end WinBoard tests: the program of this build tree driven over
// pipes as xboard drives it. Every move the engine writes is checked on a
// board of our own that follows the game.
#include <gtest/gtest.h>

#include "tests/test_protocol_session.h"

namespace e2e {
namespace {

const std::string kFeatureLine =
    "feature setboard=1 myname=\"Quarvel 1.3b\" analyze=1 ping=1 draw=0 sigint=0 "
    "variants=\"normal\" done=1 colors=0";

bool anyStartsWith(const Lines& lines, const std::string& prefix) {
  return std::any_of(lines.begin(), lines.end(),
                     [&prefix](const std::string& l) { return startsWith(l, prefix); });
}

TEST(WinboardSession, FeatureLinePingAndAGameUnderTheClock) {
  Session s;
  EXPECT_EQ(s.xboard(), kFeatureLine);
  EXPECT_EQ(s.ping(7), Lines{});
  s.sendAll({"accepted setboard", "rejected foo", "new", "random", "level 40 0:10 0", "post",
             "computer"});
  EXPECT_EQ(s.ping(8), Lines{});
  // Ten seconds for 40 moves: each user move gets a legal reply soon, with
  // thinking lines whose moves are legal.
  Referee r;
  for (const char* user : {"e2e4", "d2d4"}) {
    s.sendAll({"time 1000", "otim 1000", user});
    ASSERT_TRUE(r.play(user));
    Lines thinking;
    std::string reply = s.waitMove(scaled(5000), &thinking);
    EXPECT_FALSE(thinking.empty()) << "no thinking output with post";
    for (const auto& t : thinking)
      EXPECT_TRUE(!startsWith(t, "Illegal") && r.legalLine(pvOf(t))) << t;
    ASSERT_TRUE(r.play(reply)) << "reply " << reply << " to " << user;
  }
  // A refused move is answered and changes nothing.
  EXPECT_EQ(s.linesBefore("e2e5", "Illegal move: e2e5"), Lines{});
  // A second "xboard" builds a new engine, announces it again, and that
  // engine plays from the start position.
  EXPECT_EQ(s.linesBefore("xboard", kFeatureLine), Lines{});
  s.sendAll({"sd 2", "go"});
  EXPECT_TRUE(Referee().legal(s.waitMove()));
  EXPECT_TRUE(endedCleanly(s.quit()));
}

TEST(WinboardSession, ForceModeUndoAndRemoveKeepTheBoardWithTheGui) {
  Session s;
  s.xboard();
  s.sendAll({"new", "sd 3", "force", "e2e4", "e7e5", "g1f3"});
  EXPECT_EQ(s.ping(1), Lines{});  // force mode is silent
  // "go": the engine plays the side to move, Black.
  s.send("go");
  Referee r;
  ASSERT_TRUE(r.playAll({"e2e4", "e7e5", "g1f3", s.waitMove()}));
  // "remove" takes back the engine's reply and g1f3: g1f3 is legal again,
  // and the engine answers it.
  s.sendAll({"remove", "g1f3"});
  r.board().takeBack();
  r.board().takeBack();
  ASSERT_TRUE(r.play("g1f3"));
  Lines said;
  std::string reply = s.waitMove(scaled(10000), &said);
  EXPECT_FALSE(anyStartsWith(said, "Illegal"));
  ASSERT_TRUE(r.play(reply)) << reply;
  // "undo" in force mode takes back one move at a time.
  s.sendAll({"force", "undo", "undo", "d2d4", "undo", "c2c4"});
  EXPECT_EQ(s.ping(2), Lines{});
  s.send("go");
  Referee c4;
  ASSERT_TRUE(c4.playAll({"e2e4", "e7e5", "c2c4"}));
  EXPECT_TRUE(c4.legal(s.waitMove()));
  EXPECT_TRUE(endedCleanly(s.quit()));
}

TEST(WinboardSession, PonderingSeesClocksAndMovesWrittenTogether) {
  // Five minutes for 40 moves, so a think spends seconds unless the
  // engine's own clock ("time") says otherwise: ten seconds for the first
  // move, enough for a line with an expected reply on a slow machine, then
  // four seconds.
  Session s;
  s.xboard();
  s.sendAll({"new", "hard", "nopost", "level 40 5 0", "time 1000", "otim 30000", "e2e4"});
  Referee r;
  ASSERT_TRUE(r.playAll({"e2e4", s.waitMove(scaled(20000))}));
  auto hint = s.waitFor("Hint: ", scaled(5000)).value_or("no hint: ");
  std::string expected = hint.substr(6);
  ASSERT_TRUE(r.legal(expected)) << hint;

  // 1. Ponder miss: clocks, a move other than the hint and a ping in one
  //    write. The reply comes at once (four seconds left, a tenth of a
  //    second for the move: still a line with an expected reply on a slow,
  //    busy machine), then the pong.
  std::string other;
  for (const char* m : {"d2d4", "g1f3", "b1c3"})
    if (other.empty() && m != expected && r.legal(m)) other = m;
  auto start = Clock::now();
  ASSERT_TRUE(s.child().write("time 400\notim 29000\n" + other + "\nping 5\n"));
  Lines said;
  std::string reply = s.waitMove(scaled(20000), &said);
  EXPECT_LT(millisSince(start), 3000 * kSlowdown) << "\"time\" not seen";
  EXPECT_FALSE(anyStartsWith(said, "Illegal"));
  ASSERT_TRUE(r.playAll({other, reply})) << other << " " << reply;
  said.clear();
  ASSERT_TRUE(s.waitFor("pong 5", scaled(10000), &said));
  ASSERT_TRUE(said.size() == 1 && startsWith(said[0], "Hint: ")) << said.size() << " lines";
  expected = said[0].substr(6);
  ASSERT_TRUE(r.legal(expected)) << said[0];

  // 2. Ponder hit, written the same way: the search on the expected reply
  //    goes on as the real think and answers with a legal move.
  ASSERT_TRUE(s.child().write("time 100\notim 28000\n" + expected + "\nping 6\n"));
  said.clear();
  reply = s.waitMove(scaled(20000), &said);
  EXPECT_FALSE(anyStartsWith(said, "Illegal"));
  ASSERT_TRUE(r.playAll({expected, reply})) << expected << " " << reply;
  EXPECT_TRUE(s.waitFor("pong 6", scaled(10000)));

  // 3. "force" during the ponder search: the pondered move is taken back
  //    and nothing is played; the board is the GUI's.
  s.send("force");
  EXPECT_FALSE(anyStartsWith(s.ping(7), "move"));
  s.sendAll({"sd 2", "go"});
  EXPECT_TRUE(r.legal(s.waitMove()));
  EXPECT_TRUE(endedCleanly(s.quit()));
}

TEST(WinboardSession, AnalysisFollowsMovesAndExitsSilently) {
  Session s;
  s.xboard();
  s.sendAll({"new", "st 1", "force", "post", "analyze"});
  ASSERT_TRUE(s.waitFor("3 ", scaled(10000)));
  // A move during the analysis: it goes on in the new position (its first
  // lines may come before the pong).
  s.send("e2e4");
  Referee r;
  ASSERT_TRUE(r.play("e2e4"));
  Lines said = s.ping(1);
  auto analysedAfterE4 = [&](const std::string& l) {
    return startsWith(l, "3 ") && r.legalLine(pvOf(l));
  };
  bool found = std::any_of(said.begin(), said.end(), analysedAfterE4) ||
               s.child().readUntil(analysedAfterE4, scaled(10000)).has_value();
  ASSERT_TRUE(found) << "no analysis of the position after e2e4";

  // "undo" and "remove" too: each ends the analysis under way and starts it
  // again, so the lines after the pong are those of the start position.
  s.sendAll({"e7e5", "g1f3", "remove", "undo"});
  s.ping(2);
  Referee start;
  said.clear();
  auto line = s.child().readUntil([](const std::string& l) { return !pvOf(l).empty(); },
                                  scaled(10000), &said);
  ASSERT_TRUE(line) << "no analysis after undo";
  said.push_back(*line);
  for (const auto& t : said) EXPECT_TRUE(start.legalLine(pvOf(t))) << t;

  // "exit" ends it without a move; the limit from before ("st 1") is back.
  s.send("exit");
  said = s.ping(3);
  EXPECT_FALSE(anyStartsWith(said, "move") || anyStartsWith(said, "Illegal") ||
               anyStartsWith(said, "<no answer>"));
  s.send("go");
  auto t = Clock::now();
  EXPECT_TRUE(start.legal(s.waitMove()));
  EXPECT_LT(millisSince(t), 1000 + 500 * kSlowdown);
  EXPECT_TRUE(endedCleanly(s.quit()));
}

TEST(WinboardSession, MateByTheUserLeavesTheEngineWaiting) {
  // Fool's mate, delivered in force mode and in a played game: the engine
  // says nothing, goes on answering, and can take the mate back.
  const std::string beforeMate = "rnbqkbnr/pppp1ppp/8/4p3/6P1/5P2/PPPPP2P/RNBQKBNR b KQkq - 0 2";
  for (bool force : {true, false}) {
    Session s;
    s.xboard();
    s.sendAll({"new", "sd 2"});
    if (force)
      s.sendAll({"force", "f2f3", "e7e5", "g2g4", "d8h4"});
    else
      s.sendAll({"setboard " + beforeMate, "d8h4"});
    EXPECT_EQ(s.ping(3), Lines{}) << (force ? "force" : "played");
    s.send("go");
    EXPECT_EQ(s.ping(4), Lines{});
    // After the take-back Black, on move, has moves again.
    s.sendAll({"undo", "go"});
    EXPECT_TRUE(Referee(beforeMate).legal(s.waitMove()));
    EXPECT_TRUE(endedCleanly(s.quit()));
  }
}

}  // namespace
}  // namespace e2e
