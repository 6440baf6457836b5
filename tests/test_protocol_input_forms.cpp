// End-to-end tests of protocol lines as user interfaces write them: tokens
// apart by any blanks or tabs and a CR LF line end, a "position" line with
// no base position, promotion letters in capitals, a refused board named in
// the reply, and every form of "go" answered with a move.
#include <gtest/gtest.h>

#include "tests/test_protocol_session.h"

namespace e2e {
namespace {

const std::string kPromotion = "4k3/1P6/8/8/8/8/8/4K3 w - - 0 1";
const std::string kEmptyBoard = "8/8/8/8/8/8/8/8 w - - 0 1";

// The depth of the last iteration reported before the answer, 0 for none.
int lastDepth(const Answer& a) {
  int depth = 0;
  for (const auto& info : a.infos)
    if (startsWith(info, "info depth ")) depth = std::stoi(words(info)[2]);
  return depth;
}

TEST(ProtocolInputForms, AnyWhitespaceNoBasePositionCapitalPromotionNamedBoard) {
  Session s;
  ASSERT_TRUE(s.answered("uci\r", "uciok", Millis(10000)));
  for (const char* ready : {"isready\r", " isready", "\tisready \t"})
    EXPECT_TRUE(s.answered(ready, "readyok", scaled(2000))) << ready;

  struct Case {
    std::string position, go, fen, move;
    int minDepth, maxDepth;
  };
  const std::string pawnEnding = "4k3/8/8/8/8/8/4P3/4K3 b - - 0 1";
  for (const Case& c :
       {Case{"position startpos  moves e2e4", "go depth  3", kStartFen, "e2e4", 3, 3},
        Case{"position\tfen " + pawnEnding, "go\tdepth 2", pawnEnding, "", 2, 2},
        Case{"position startpos moves e2e4\r", "go depth 1\r", kStartFen, "e2e4", 1, 1},
        Case{"position startpos", "go wtime  8000 btime \t8000", kStartFen, "", 3, 99}}) {
    Referee r(c.fen);
    ASSERT_TRUE(c.move.empty() || r.play(c.move));
    s.sendAll({c.position, c.go});
    Answer a = s.waitBestMove(scaled(10000));
    expectLegalAnswer(r, a);
    EXPECT_GE(lastDepth(a), c.minDepth) << c.go;
    EXPECT_LE(lastDepth(a), c.maxDepth) << c.go;
  }

  // No base position: refused as a FEN, and no move until a good one.
  for (const std::string bad : {"moves e2e4", ""}) {
    s.sendAll({"position startpos", "position " + bad, "go depth 1"});
    Answer a = s.waitBestMove(scaled(10000));
    EXPECT_EQ(a.line, "bestmove 0000") << bad;
    EXPECT_EQ(a.infos, Lines{"info string refused FEN: " + bad});
  }

  // Promotion letters in capitals, in both protocols.
  Referee promoted(kPromotion);
  ASSERT_TRUE(promoted.play("b7b8q"));
  const std::string count = std::to_string(promoted.legalMoveCount());
  s.sendAll({"position fen " + kPromotion + " moves b7b8Q", "perft 1"});
  EXPECT_EQ(words(s.waitFor(" 1.", scaled(10000)).value_or(" 1. none"))[1], count);
  EXPECT_TRUE(endedCleanly(s.quit()));

  Session w;
  w.xboard();
  w.sendAll({" force\r", "setboard  " + kPromotion + "\r", "b7b8Q", "perft\t1",
             "\tsetboard " + kEmptyBoard});
  Lines lines = w.ping(1);
  ASSERT_EQ(lines.size(), 3u) << lines.back();
  EXPECT_EQ(words(lines[1])[1], count);
  EXPECT_EQ(lines[2], "tellusererror Illegal position: " + kEmptyBoard);
  EXPECT_TRUE(endedCleanly(w.quit()));
}

TEST(ProtocolInputForms, EveryGoIsAnsweredWithAMove) {
  Session s;
  s.handshake();
  Referee r;
  // A bare "go" thinks in the mode of the previous "go" (at first the new
  // game's own), so that "stop" gets its move.
  s.sendAll({"position startpos", "go", "stop"});
  expectLegalAnswer(r, s.waitBestMove(scaled(10000)));
  s.sendAll({"position startpos", "go depth 2"});
  expectLegalAnswer(r, s.waitBestMove(scaled(10000)));
  s.sendAll({"position startpos", "go "});
  Answer a = s.waitBestMove(scaled(10000));
  expectLegalAnswer(r, a);
  EXPECT_EQ(lastDepth(a), 2);

  // "infinite" wins over clock values on its line, before or after them.
  for (const char* go :
       {"go infinite wtime 100 btime 100", "go wtime 100 infinite btime 100 movestogo 1"}) {
    s.sendAll({"position startpos", go});
    EXPECT_TRUE(s.silentFor("bestmove", Millis(500))) << go;
    s.send("stop");
    expectLegalAnswer(r, s.waitBestMove(scaled(2000)));
  }
  EXPECT_TRUE(endedCleanly(s.quit()));
}

}  // namespace
}  // namespace e2e
