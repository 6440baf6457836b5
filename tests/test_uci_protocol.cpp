// End-to-end UCI tests: the real program driven over pipes as a GUI drives
// it, its standard input kept open between commands.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "tests/test_uci_session.h"

namespace ucitest {
namespace {

const std::string kWordSize = sizeof(void*) == 8 ? "64 bits" : "32 bits";
const std::string kBanner = "Quarvel 1.3b (" + kWordSize + ") by Yorin TASSEVAL";
const std::vector<std::string> kIdentification = {
    "id name Quarvel 1.3b",
    "id author Yorin TASSEVAL",
    "option name Hash type spin default 32 min 4 max 4096",
    "option name Ponder type check default false",
    "option name OwnBook type check default false",
    "option name Book File type string default quarvelopenbook.bin",
};

// A middlegame in which a search is never short of work.
const std::string kMiddlegame =
    "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP1B1PPP/R2QKB1R w KQ - 0 8";

void pause(int ms) { std::this_thread::sleep_for(Millis(ms)); }

TEST(UciProtocol, IdentificationAndOptionLinesExactly) {
  Session s;
  auto banner = s.child().readLine(Millis(5000));
  ASSERT_TRUE(banner);
  EXPECT_EQ(*banner, kBanner);
  EXPECT_EQ(s.handshake(), kIdentification);
  EXPECT_TRUE(s.ready());
  // A second "uci" answers the same and leaves a working engine.
  EXPECT_EQ(s.handshake(), kIdentification);
  s.send("position startpos");
  s.send("go depth 2");
  Referee r;
  r.setStart();
  expectLegalAnswer(r, s.waitBestMove(Millis(10000)));
  EXPECT_TRUE(quitCleanly(s.quit()));
  EXPECT_EQ(s.child().takeOutput(), "");  // nothing after "quit"
}

TEST(UciProtocol, FirstNonEmptyLineChoosesTheProtocol) {
  // Empty lines are skipped; "uci" must match exactly and in lower case.
  {
    auto r = testsupport::runCommand({testsupport::programPath()}, Millis(10000),
                                     "\n\nuci\nisready\nquit\n");
    EXPECT_TRUE(quitCleanly(r.status)) << r.status.describe();
    EXPECT_NE(r.out.find("uciok\nreadyok\n"), std::string::npos) << r.out;
  }
  for (const char* first : {"UCI\nisready\n", " uci\nisready\n", "hello\nuci\n", "\x01\xff\n"}) {
    auto r = testsupport::runCommand({testsupport::programPath()}, Millis(10000), first);
    EXPECT_TRUE(quitCleanly(r.status)) << r.status.describe();
    EXPECT_EQ(r.out, kBanner + "\n") << "first line " << first;
  }
  // No input at all: the banner, then a clean end.
  auto r = testsupport::runCommand({testsupport::programPath()}, Millis(10000), "");
  EXPECT_TRUE(quitCleanly(r.status)) << r.status.describe();
  EXPECT_EQ(r.out, kBanner + "\n");
  EXPECT_EQ(r.err, "");
}

TEST(UciProtocol, EndOfInputEndsTheProgramWithoutSpinning) {
  // A limited think finishes and answers; the lines behind it still run.
  {
    auto r = testsupport::runCommand(
        {testsupport::programPath()}, Millis(20000),
        "uci\nposition startpos\ngo depth 4\nposition startpos moves e2e4\ngo depth 2\n");
    EXPECT_TRUE(quitCleanly(r.status)) << r.status.describe();
    size_t first = r.out.find("bestmove ");
    ASSERT_NE(first, std::string::npos) << r.out;
    EXPECT_NE(r.out.find("bestmove ", first + 1), std::string::npos) << r.out;
  }
  // An infinite or ponder think is aborted at once, without a move.
  for (const char* go : {"go infinite", "go ponder", "go ponder wtime 1000 btime 1000"}) {
    Session s;
    s.handshake();
    s.send(go);
    pause(200);
    auto start = Clock::now();
    s.child().closeStdin();
    auto status = s.child().wait(scaled(2000));
    EXPECT_TRUE(quitCleanly(status)) << go << ": " << status.describe();
    EXPECT_LT(millisSince(start), 1000 * kSlowdown);
    EXPECT_EQ(s.child().takeOutput().find("bestmove"), std::string::npos) << go;
  }
}

TEST(UciProtocol, IsReadyIsAnsweredDuringAThinkBeforeItsMove) {
  Session s;
  s.handshake();
  s.send("position fen " + kMiddlegame);
  s.send("go infinite");
  pause(300);
  for (int i = 0; i < 5; i++) {
    std::vector<std::string> seen;
    auto start = Clock::now();
    ASSERT_TRUE(s.ready(scaled(200), &seen)) << "readyok late or missing";
    EXPECT_LT(millisSince(start), 500 * kSlowdown);
    for (const auto& l : seen) EXPECT_FALSE(startsWith(l, "bestmove")) << l;
    pause(100);
  }
  s.send("stop");
  Referee r;
  r.setFen(kMiddlegame);
  expectLegalAnswer(r, s.waitBestMove(scaled(1000)));
  EXPECT_TRUE(quitCleanly(s.quit()));
}

TEST(UciProtocol, BestMoveFollowsStopWithin50Ms) {
  Session s;
  s.handshake();
  Referee r;
  const std::vector<std::pair<std::string, std::string>> cases = {
      {kMiddlegame, "go infinite"},
      {kMiddlegame, "go movetime 600000"},
      {"8/8/8/4k3/8/8/3QK3/8 w - - 0 1", "go infinite"},  // reaches its depth bound
      {kStartFen, "go wtime 3600000 btime 3600000"},
      {kStartFen, "go depth 60"},
      {kStartFen, "go nodes 1000000000000"},
  };
  // The engine answers within 50 ms; a machine busy with other work may
  // hold up a single answer, so the bound is on the median of the cases.
  std::vector<long long> latencies;
  for (const auto& c : cases) {
    r.setFen(c.first);
    s.send("position fen " + c.first);
    s.send(c.second);
    pause(400);
    s.send("stop");
    Answer a = s.waitBestMove(scaled(1000));
    latencies.push_back(a.elapsedMs);
    EXPECT_LE(a.elapsedMs, 500 * kSlowdown) << c.second;
    expectLegalAnswer(r, a);
    ASSERT_TRUE(s.ready());
  }
  std::sort(latencies.begin(), latencies.end());
  EXPECT_LE(latencies[latencies.size() / 2], 50 * kSlowdown);
  // "stop" with no think running does nothing; a "stop" written together
  // with the "go" still stops it.
  s.send("stop");
  EXPECT_TRUE(s.silentFor("bestmove", Millis(200)));
  r.setStart();
  s.send("position startpos");
  ASSERT_TRUE(s.child().write("go infinite\nstop\n"));
  expectLegalAnswer(r, s.waitBestMove(scaled(1000)));
  EXPECT_TRUE(quitCleanly(s.quit()));
}

TEST(UciProtocol, GoInfiniteNeverAnswersBeforeStop) {
  Session s;
  s.handshake();
  // A middlegame keeps searching; a bare endgame soon reaches the depth
  // bound and must wait there.
  for (const std::string& fen : {kMiddlegame, std::string("8/8/8/4k3/8/8/3QK3/8 w - - 0 1")}) {
    s.send("position fen " + fen);
    s.send("go infinite");
    std::vector<std::string> seen;
    EXPECT_TRUE(s.silentFor("bestmove", Millis(3000), &seen)) << fen;
    s.send("stop");
    Referee r;
    r.setFen(fen);
    Answer a = s.waitBestMove(scaled(1000));
    a.infos.insert(a.infos.begin(), seen.begin(), seen.end());
    expectLegalAnswer(r, a);
  }
  EXPECT_TRUE(quitCleanly(s.quit()));
}

TEST(UciProtocol, PonderHitAndPonderStop) {
  Session s;
  s.handshake();
  s.send("setoption name Ponder value true");
  EXPECT_TRUE(s.silentFor("bestmove", Millis(200)));  // the option starts nothing

  // The position sent holds the expected reply; the engine ponders on it.
  const std::string position = "position startpos moves e2e4 e7e5 g1f3 b8c6";
  Referee r;
  r.setStart();
  for (const char* m : {"e2e4", "e7e5", "g1f3", "b8c6"}) ASSERT_TRUE(r.play(m));

  // Ponder hit: the ponder search becomes the real think under the clock.
  s.send(position);
  s.send("go ponder wtime 4000 btime 4000 winc 0 binc 0");
  EXPECT_TRUE(s.silentFor("bestmove", Millis(1000)));
  s.send("ponderhit");
  Answer hit = s.waitBestMove(scaled(2000));
  expectLegalAnswer(r, hit);
  EXPECT_FALSE(hit.ponder.empty()) << hit.line;

  // Ponder miss: "stop" answers with the ponder search's move, legal in the
  // position sent.
  s.send(position);
  s.send("go ponder wtime 4000 btime 4000");
  EXPECT_TRUE(s.silentFor("bestmove", Millis(1000)));
  s.send("stop");
  Answer stopped = s.waitBestMove(scaled(1000));
  EXPECT_LE(stopped.elapsedMs, 500 * kSlowdown);
  expectLegalAnswer(r, stopped);

  // A ponder search that reaches its depth bound waits for the hit, then
  // answers at once.
  s.send(position);
  s.send("go ponder depth 2");
  EXPECT_TRUE(s.silentFor("bestmove", Millis(1000)));
  s.send("ponderhit");
  expectLegalAnswer(r, s.waitBestMove(scaled(500)));

  // "go ponder" is a ponder search even with the option off.
  s.send("setoption name Ponder value false");
  s.send(position);
  s.send("go ponder movetime 100");
  EXPECT_TRUE(s.silentFor("bestmove", Millis(800)));
  s.send("stop");
  Answer plain = s.waitBestMove(scaled(1000));
  expectLegalAnswer(r, plain);
  EXPECT_TRUE(plain.ponder.empty()) << plain.line;
  EXPECT_TRUE(quitCleanly(s.quit()));
}

// Room for a machine busy with other work between the engine's answer and
// the test's reading of it.
const int kSchedulingSlackMs = 100;

struct LimitCase {
  std::string position;
  std::string go;
  int maxMs;  // the answer must arrive within this
};

TEST(UciProtocol, EveryLimitIsAnsweredInTimeWithALegalMove) {
  Session s;
  s.handshake();
  const std::string mid = "position fen " + kMiddlegame;
  const std::vector<LimitCase> cases = {
      {"position startpos", "go depth 1", 500},
      {mid, "go depth 5", 5000},
      {mid, "go depth -3", 500},
      {mid, "go nodes 1", 500},
      {mid, "go nodes 20000", 2000},
      {mid, "go movetime 300", 400},
      {mid, "go movetime 0", 300},
      {mid, "go wtime 2000 btime 2000", 200},
      {mid, "go wtime 60000 btime 60000 winc 1000 binc 1000", 2700},
      {mid, "go wtime 500 btime 500 winc 1000 binc 1000", 350},
      {mid, "go wtime 3000 btime 3000 movestogo 1", 1600},
      {mid, "go wtime 20000 btime 20000 movestogo 40", 600},
      {mid, "go wtime 0 btime 0", 300},
      {mid, "go wtime -500 btime -500 winc 100 binc 100", 300},
      {mid, "go btime 100 wtime 100 movestogo 5", 300},
      {"position startpos moves e2e4", "go wtime 100 btime 100", 300},
  };
  for (const auto& c : cases) {
    Referee r;
    r.setStart();
    if (c.position == mid) r.setFen(kMiddlegame);
    if (c.position == "position startpos moves e2e4") r.play("e2e4");
    s.send(c.position);
    s.send(c.go);
    Answer a = s.waitBestMove(scaled(c.maxMs + 5000));
    EXPECT_LE(a.elapsedMs, c.maxMs * kSlowdown + kSchedulingSlackMs) << c.go;
    expectLegalAnswer(r, a);
    if (c.go == "go depth 5") {
      ASSERT_FALSE(a.infos.empty());
      EXPECT_TRUE(startsWith(a.infos.back(), "info depth 5 ")) << a.infos.back();
    }
  }
  EXPECT_TRUE(quitCleanly(s.quit()));
}

TEST(UciProtocol, GoLinesThatStartNoThinkOrKeepTheMode) {
  Session s;
  s.handshake();
  Referee r;
  r.setStart();
  s.send("position startpos");
  // A bare "go" (no blank) is no command.
  s.send("go");
  EXPECT_TRUE(s.silentFor("bestmove", Millis(300)));
  EXPECT_TRUE(s.ready());
  // "go depth" without its blank keeps the previous mode (depth 2 here).
  s.send("go depth 2");
  expectLegalAnswer(r, s.waitBestMove(Millis(5000)));
  // (The engine has played its move on its own board: each "go" below
  // follows a "position".)
  s.send("position startpos");
  s.send("go depth");
  Answer kept = s.waitBestMove(Millis(2000));
  expectLegalAnswer(r, kept);
  ASSERT_FALSE(kept.infos.empty());
  EXPECT_TRUE(startsWith(kept.infos.back(), "info depth 2 ")) << kept.infos.back();
  // After an infinite search a "go" without a mode is not infinite: it gets
  // the new game's 5 seconds per move.
  s.send("position startpos");
  s.send("go infinite");
  pause(100);
  s.send("stop");
  expectLegalAnswer(r, s.waitBestMove(scaled(1000)));
  s.send("position startpos");
  s.send("go searchmoves e2e4 d2d4");
  Answer fallback = s.waitBestMove(scaled(7000));
  expectLegalAnswer(r, fallback);
  EXPECT_GE(fallback.elapsedMs, 3000);
  // Increments of an earlier "go" do not carry over: 100 ms left and no
  // increment must be answered quickly.
  s.send("go wtime 100000 btime 100000 winc 50000 binc 50000 movestogo 1");
  pause(100);
  s.send("stop");
  s.waitBestMove(scaled(1000));
  s.send("position startpos");
  s.send("go wtime 100 btime 100");
  Answer quick = s.waitBestMove(scaled(2000));
  EXPECT_LE(quick.elapsedMs, 300 * kSlowdown + kSchedulingSlackMs);
  expectLegalAnswer(r, quick);
  EXPECT_TRUE(quitCleanly(s.quit()));
}

TEST(UciProtocol, NoLegalMoveAnswersNullMove) {
  Session s;
  s.handshake();
  const std::vector<std::string> finished = {
      "7k/6Q1/6K1/8/8/8/8/8 b - - 0 1",  // checkmate
      "7k/5Q2/6K1/8/8/8/8/8 b - - 0 1",  // stalemate
  };
  for (const auto& fen : finished) {
    for (const char* go : {"go depth 3", "go wtime 1000 btime 1000", "go movetime 100"}) {
      s.send("position fen " + fen);
      s.send(go);
      Answer a = s.waitBestMove(Millis(5000));
      EXPECT_EQ(a.line, "bestmove 0000") << fen << " " << go;
    }
    s.send("go infinite");
    EXPECT_TRUE(s.silentFor("bestmove", Millis(300)));
    s.send("stop");
    EXPECT_EQ(s.waitBestMove(scaled(1000)).line, "bestmove 0000");
  }
  EXPECT_TRUE(quitCleanly(s.quit()));
}

TEST(UciProtocol, PromotionsCarryTheirLetter) {
  Session s;
  s.handshake();
  // White promotes at once; Black, in check from the queen, takes it with
  // a pawn that promotes.
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"8/P7/8/8/8/8/6k1/4K3 w - - 0 1", "a7a8q"},
      {"8/8/8/8/8/5K2/4p3/3Q2k1 b - - 0 1", ""},
  };
  for (const auto& c : cases) {
    Referee r;
    r.setFen(c.first);
    s.send("position fen " + c.first);
    s.send("go depth 6");
    Answer a = s.waitBestMove(Millis(10000));
    expectLegalAnswer(r, a);
    if (!c.second.empty()) {
      EXPECT_EQ(a.bestmove, c.second);
    }
    EXPECT_EQ(a.bestmove.size(), 5u) << a.line;
  }
  EXPECT_TRUE(quitCleanly(s.quit()));
}

TEST(UciProtocol, PositionStopsAtTheFirstRefusedMove) {
  Session s;
  s.handshake();
  Referee r;
  auto perftOne = [&s]() {
    s.send("perft 1");
    auto row = s.waitFor(" 1.", Millis(5000));
    return row ? words(*row)[1] : std::string("none");
  };
  // e1e3 is refused: g1f3 after it must not be played.
  s.send("position startpos moves e2e4 e7e5 e1e3 g1f3");
  r.setStart();
  r.play("e2e4");
  r.play("e7e5");
  EXPECT_EQ(perftOne(), std::to_string(r.legalMoveCount()));
  // A FEN, moves after it; the FEN's own fields are no moves.
  const std::string fen = "4k3/8/8/8/8/8/4P3/4K3 w - - 0 1";
  s.send("position fen " + fen + " moves e2e4 e8d7");
  r.setFen(fen);
  r.play("e2e4");
  r.play("e8d7");
  EXPECT_EQ(perftOne(), std::to_string(r.legalMoveCount()));
  // A bad FEN leaves the position as it was; so do malformed lines.
  for (const char* bad :
       {"position fen 8/8/8/8 w - - 0 1", "position fen", "position fen ", "position",
        "position startposmoves e2e4", "position fen " "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"
        "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"
        "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"
        "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx w - - 0 1"}) {
    s.send(bad);
    EXPECT_EQ(perftOne(), std::to_string(r.legalMoveCount())) << bad;
  }
  // "startpos" alone.
  s.send("position startpos");
  EXPECT_EQ(perftOne(), "20");
  EXPECT_TRUE(quitCleanly(s.quit()));
}

TEST(UciProtocol, PerftAndDivideCommands) {
  Session s;
  s.handshake();
  s.send("position startpos");
  s.send("perft 3");
  std::vector<std::string> lines;
  auto last = s.waitFor(" 3.", Millis(10000), &lines);
  ASSERT_TRUE(last);
  lines.push_back(*last);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_TRUE(startsWith(lines[0], "depth |        nodes |"));
  EXPECT_EQ(words(lines[1])[1], "20");
  EXPECT_EQ(words(lines[2])[1], "400");
  EXPECT_EQ(words(lines[3])[1], "8902");

  s.send("divide 2");
  unsigned long long sum = 0;
  for (int i = 0; i < 20; i++) {
    auto row = s.child().readLine(Millis(5000));
    ASSERT_TRUE(row);
    auto w = words(*row);
    ASSERT_EQ(w.size(), 3u) << *row;
    sum += std::stoull(w[2]);
  }
  EXPECT_EQ(sum, 400u);

  // Missing, zero, negative or too large depths: the header or nothing.
  for (const char* bad : {"perft", "perft 0", "perft -2", "perft 64", "perft 99999999999999",
                          "perft x", "divide", "divide 0", "divide -1", "divide 65"}) {
    s.send(bad);
  }
  std::vector<std::string> out;
  ASSERT_TRUE(s.ready(Millis(5000), &out));
  for (const auto& l : out) EXPECT_TRUE(startsWith(l, "depth |")) << l;
  EXPECT_LE(out.size(), 6u);
  EXPECT_TRUE(quitCleanly(s.quit()));
}

TEST(UciProtocol, OptionsSetFlagsAndTablesOnly) {
  Session s;
  s.handshake();
  Referee r;
  r.setStart();
  s.send("position startpos moves e2e4");
  r.play("e2e4");
  // The table size is held to what the table accepts; the position stays.
  for (const char* hash : {"0", "-7", "4", "64", "99999999999999999999", "abc"}) {
    s.send(std::string("setoption name Hash value ") + hash);
    ASSERT_TRUE(s.ready()) << hash;
    s.send("perft 1");
    auto row = s.waitFor(" 1.", Millis(5000));
    ASSERT_TRUE(row);
    EXPECT_EQ(words(*row)[1], "20") << hash;
  }
  s.send("go depth 3");
  expectLegalAnswer(r, s.waitBestMove(Millis(10000)));

  // A missing book is reported; unknown options and malformed lines are
  // ignored without reply.
  s.send("setoption name Book File value /nonexistent/book.bin");
  s.send("setoption name OwnBook value true");
  EXPECT_TRUE(s.waitFor("info string book file not found", Millis(5000)));
  s.send("setoption name OwnBook value false");
  for (const char* other : {"setoption name Foo value 1", "setoption", "setoption name",
                            "setoption Hash value 8", "setoption name Hash", "debug on"}) {
    s.send(other);
  }
  std::vector<std::string> out;
  ASSERT_TRUE(s.ready(Millis(5000), &out));
  EXPECT_TRUE(out.empty()) << out[0];
  s.send("position startpos moves e2e4");
  s.send("go depth 2");
  expectLegalAnswer(r, s.waitBestMove(Millis(10000)));
  EXPECT_TRUE(quitCleanly(s.quit()));
}

TEST(UciProtocol, LinesDuringAThinkWaitForItsEnd) {
  Session s;
  s.handshake();
  s.send("position fen " + kMiddlegame);
  s.send("go infinite");
  pause(200);
  // These change the board or the tables: they run after the think.
  s.send("position startpos moves e2e4");
  s.send("perft 1");
  s.send("setoption name Hash value 8");
  s.send("go depth 2");
  s.send("uci");
  EXPECT_TRUE(s.silentFor("bestmove", Millis(500)));
  EXPECT_TRUE(s.ready(scaled(200)));
  s.send("stop");

  Referee first;
  first.setFen(kMiddlegame);
  expectLegalAnswer(first, s.waitBestMove(scaled(1000)));
  Referee second;
  second.setStart();
  second.play("e2e4");
  Answer a = s.waitBestMove(Millis(5000));
  // The perft table of the position after e2e4 came first, in order.
  ASSERT_GE(a.infos.size(), 2u);
  EXPECT_TRUE(startsWith(a.infos[0], "depth |"));
  EXPECT_EQ(words(a.infos[1])[1], "20");
  a.infos.erase(a.infos.begin(), a.infos.begin() + 2);
  expectLegalAnswer(second, a);
  std::vector<std::string> ids;  // then the kept "uci"
  EXPECT_TRUE(s.waitFor("uciok", Millis(5000), &ids));
  EXPECT_EQ(ids, kIdentification);
  EXPECT_TRUE(quitCleanly(s.quit()));
}

TEST(UciProtocol, UciNewGameDuringAThinkAbortsIt) {
  Session s;
  s.handshake();
  for (const char* go : {"go infinite", "go movetime 600000", "go ponder"}) {
    s.send("position fen " + kMiddlegame);
    s.send(go);
    pause(200);
    s.send("ucinewgame");
    EXPECT_TRUE(s.silentFor("bestmove", Millis(300))) << go;
    ASSERT_TRUE(s.ready(scaled(500)));
    // The new game stands: the start position, searched as asked.
    s.send("go depth 3");
    Referee r;
    r.setStart();
    expectLegalAnswer(r, s.waitBestMove(Millis(10000)));
  }
  EXPECT_TRUE(quitCleanly(s.quit()));
}

TEST(UciProtocol, QuitDuringAThinkEndsAtOnce) {
  for (const char* go : {"go infinite", "go movetime 600000", "go ponder"}) {
    Session s;
    s.handshake();
    s.send("position fen " + kMiddlegame);
    s.send(go);
    pause(200);
    auto start = Clock::now();
    s.send("quit");
    auto status = s.child().wait(scaled(1000));
    EXPECT_TRUE(quitCleanly(status)) << status.describe();
    EXPECT_LT(millisSince(start), 1000 * kSlowdown);
    EXPECT_EQ(s.child().takeOutput().find("bestmove"), std::string::npos);
  }
}

// Plays one side of each move with the engine's answer and checks it; a
// move that would end the game is replaced by another legal move, so that
// the game goes on to the wanted length.
TEST(UciProtocol, SixHundredPlyGame) {
  Session s;
  s.handshake();
  s.send("ucinewgame");
  Referee r;
  r.setStart();
  std::string moves;
  for (int ply = 0; ply < 600; ply++) {
    s.send(moves.empty() ? "position startpos" : "position startpos moves" + moves);
    s.send(ply % 2 ? "go nodes 400" : "go depth 2");
    Answer a = s.waitBestMove(Millis(10000));
    expectLegalAnswer(r, a);
    if (HasFatalFailure() || HasNonfatalFailure()) return;
    std::string move = a.bestmove;
    ASSERT_TRUE(r.play(move));
    if (r.legalMoveCount() == 0) {
      // Take it back and pick a legal move that leaves the game open.
      r.board().takeBack();
      r.board().buildLegalMoves();
      std::vector<ChessMove> list;
      for (u32 i = 0; i < r.board().legalMoveCount; i++) list.push_back(r.board().legalMoves[i].move);
      move.clear();
      for (ChessMove m : list) {
        char text[6] = {char('a' + (m.from() & 7)), char('1' + (m.from() >> 3)),
                        char('a' + (m.to() & 7)), char('1' + (m.to() >> 3)),
                        m.promotion() ? "0pnbrqk"[m.promotion()] : '\0', '\0'};
        if (!r.play(text)) continue;
        if (r.legalMoveCount() > 0) {
          move = text;
          break;
        }
        r.board().takeBack();
      }
      ASSERT_FALSE(move.empty()) << "no move keeps the game open";
    }
    moves += " " + move;
  }
  EXPECT_EQ(r.board().curMoveIndex, 600u);
  EXPECT_TRUE(quitCleanly(s.quit()));
}

TEST(UciProtocol, PositionLinesOfFourThousandPlies) {
  // e4 e5, then knight shuffles: 4096 plies in all, some 20 KB in one line.
  std::string moves = " e2e4 e7e5";
  for (int i = 0; i < 1023; i++) moves += " g1f3 b8c6 f3g1 c6b8";
  moves += " g1f3 b8c6";
  Session s;
  s.handshake();
  s.send("position startpos moves" + moves);
  Referee r;
  r.setStart();
  for (const char* m : {"e2e4", "e7e5", "g1f3", "b8c6"}) r.play(m);
  s.send("perft 1");
  auto row = s.waitFor(" 1.", Millis(10000));
  ASSERT_TRUE(row);
  EXPECT_EQ(words(*row)[1], std::to_string(r.legalMoveCount()));
  s.send("go depth 3");
  expectLegalAnswer(r, s.waitBestMove(Millis(10000)));
  s.send("go wtime 1000 btime 1000");
  expectLegalAnswer(r, s.waitBestMove(Millis(10000)));

  // Beyond the game record's 4096 plies the rest of the list is refused.
  s.send("position startpos moves" + moves + " f1c4 g8f6 c4f7");
  s.send("perft 1");
  row = s.waitFor(" 1.", Millis(10000));
  ASSERT_TRUE(row);
  EXPECT_EQ(words(*row)[1], std::to_string(r.legalMoveCount()));
  EXPECT_TRUE(quitCleanly(s.quit()));
}

TEST(UciProtocol, OverLongLineIsNeverSplit) {
  Session s;
  s.handshake();
  // The tail of a line beyond 64 KiB is dropped, not read as a command.
  s.send(std::string(65536, 'x') + "isready");
  s.send(std::string(200000, ' ') + "isready");
  s.send("position startpos moves " + std::string(70000, 'e') + " isready");
  std::vector<std::string> out;
  ASSERT_TRUE(s.ready(Millis(10000), &out));
  EXPECT_TRUE(out.empty()) << out.size() << " lines: " << out[0];
  EXPECT_TRUE(s.silentFor("readyok", Millis(200)));
  EXPECT_TRUE(quitCleanly(s.quit()));
}

}  // namespace
}  // namespace ucitest
