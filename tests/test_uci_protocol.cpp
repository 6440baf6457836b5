// End-to-end UCI tests: the program of this build tree driven over pipes as
// a GUI drives it, its standard input kept open between commands.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "engine/timecontrol.h"
#include "tests/test_protocol_session.h"

namespace e2e {
namespace {

const std::string kBanner =
    std::string("Quarvel 1.3b (") + (sizeof(void*) == 8 ? "64" : "32") + " bits) by Yorin TASSEVAL";
const Lines kIdentification = {
    "id name Quarvel 1.3b",
    "id author Yorin TASSEVAL",
    "option name Hash type spin default 32 min 4 max 4096",
    "option name Ponder type check default false",
    "option name OwnBook type check default false",
    "option name Book File type string default quarvelopenbook.bin",
};
const char* const kEndgame = "8/8/8/4k3/8/8/3QK3/8 w - - 0 1";  // soon at the depth bound
const char* const kMated = "7k/6Q1/6K1/8/8/8/8/8 b - - 0 1";
const char* const kStalemate = "7k/5Q2/6K1/8/8/8/8/8 b - - 0 1";

void pause(int ms) { std::this_thread::sleep_for(Millis(ms)); }

testsupport::CommandResult runProgram(const std::string& input) {
  return testsupport::runCommand({testsupport::programPath()}, Millis(20000), input);
}

// Sessions that think at the same time, so their waits overlap.
std::vector<std::unique_ptr<Session>> startSessions(size_t count) {
  std::vector<std::unique_ptr<Session>> sessions;
  for (size_t i = 0; i < count; i++) {
    sessions.emplace_back(new Session());
    sessions.back()->handshake();
  }
  return sessions;
}

TEST(UciProtocol, IdentificationExactLinesAndTheFirstLine) {
  Session s;
  auto lines = s.handshake();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], kBanner);
  EXPECT_EQ(Lines(lines.begin() + 1, lines.end()), kIdentification);
  // A second "uci" answers the same and leaves a working engine.
  EXPECT_EQ(s.handshake(), kIdentification);
  // Only a whole line is a command, whatever blanks, tabs or carriage
  // return stand around it: case counts; after "uci", "xboard" is no
  // command; the tail of a line beyond 64 KiB is dropped, not read as a line.
  s.sendAll({"isready\r", "ISREADY", " isready", "isready \t", "xboard",
             std::string(65536, 'x') + "isready", std::string(200000, ' ') + "isready",
             "position startpos moves " + std::string(70000, 'e') + " isready", "perft 1"});
  Lines seen;
  ASSERT_TRUE(s.waitFor(" 1.", Millis(10000), &seen));
  EXPECT_EQ(Lines(seen.begin(), seen.end() - 1), Lines(3, "readyok"));  // then the perft header
  EXPECT_TRUE(s.silentFor("", Millis(300)));                            // no other line answers
  s.sendAll({"position startpos", "go depth 2"});
  Referee r;
  expectLegalAnswer(r, s.waitBestMove(Millis(10000)));
  EXPECT_TRUE(endedCleanly(s.quit()));
  EXPECT_EQ(s.child().takeOutput(), "");  // nothing after "quit"

  // Empty lines before "uci" are skipped, and so are blanks, tabs and a
  // carriage return around it. Any other first line ends the program
  // quietly after its banner: case counts. So does an input with no line.
  for (const char* input : {"\n\nuci\nisready\nquit\n", "uci\r\nisready\n", " \tuci \nisready\n"}) {
    auto run = runProgram(input);
    EXPECT_TRUE(endedCleanly(run.status)) << run.status.describe();
    EXPECT_NE(run.out.find("uciok\nreadyok\n"), std::string::npos) << run.out;
  }
  for (const char* input :
       {"UCI\nisready\n", "u ci\nisready\n", "hello\nuci\n", "\x01\xff\nuci\n", ""}) {
    auto run = runProgram(input);
    EXPECT_TRUE(endedCleanly(run.status)) << run.status.describe();
    EXPECT_EQ(run.out, kBanner + "\n") << "input " << input;
    EXPECT_EQ(run.err, "");
  }
}

TEST(UciProtocol, EndOfInputAndQuitEndTheProgram) {
  // A think with a limit finishes at the end of input, and the lines
  // behind it still run.
  auto run =
      runProgram("uci\nposition startpos\ngo depth 4\nposition startpos moves e2e4\ngo depth 2\n");
  EXPECT_TRUE(endedCleanly(run.status)) << run.status.describe();
  size_t first = run.out.find("bestmove ");
  ASSERT_NE(first, std::string::npos) << run.out;
  EXPECT_NE(run.out.find("bestmove ", first + 1), std::string::npos) << run.out;

  // The end of input ends an infinite or ponder think at once, "quit" any
  // think (standard input still open), and neither writes a move.
  const std::vector<std::pair<std::string, bool>> cases = {
      {"go infinite", false}, {"go ponder", false}, {"go ponder wtime 1000 btime 1000", false},
      {"go infinite", true},  {"go ponder", true},  {"go movetime 600000", true}};
  auto sessions = startSessions(cases.size());
  for (size_t i = 0; i < cases.size(); i++)
    sessions[i]->sendAll({std::string("position fen ") + kMiddlegame, cases[i].first});
  pause(300);
  for (size_t i = 0; i < cases.size(); i++) {
    if (cases[i].second)
      sessions[i]->send("quit");
    else
      sessions[i]->child().closeStdin();
  }
  for (size_t i = 0; i < cases.size(); i++) {
    auto status = sessions[i]->child().wait(scaled(1500));
    const char* how = cases[i].second ? " then quit" : " then end of input";
    EXPECT_TRUE(endedCleanly(status)) << cases[i].first << how << ": " << status.describe();
    EXPECT_EQ(sessions[i]->child().takeOutput().find("bestmove"), std::string::npos)
        << cases[i].first << how;
  }
}

TEST(UciProtocol, AThinkAnswersIsReadyAndStopsAtOnceOnStop) {
  // Infinite thinks side by side: a middlegame keeps the search busy, a bare
  // endgame soon reaches the depth bound and must wait there, and a mated
  // side has no move at all. For several seconds each "isready" is answered
  // at once and no "bestmove" comes; "stop" then brings it.
  const Lines fens = {kMiddlegame, kEndgame, kMated};
  auto sessions = startSessions(fens.size());
  for (size_t i = 0; i < fens.size(); i++)
    sessions[i]->sendAll({"position fen " + fens[i], "go infinite"});
  std::vector<Answer> answers(fens.size());
  for (int round = 0; round < 6; round++) {
    pause(500);
    for (size_t i = 0; i < fens.size(); i++)
      ASSERT_TRUE(sessions[i]->ready(scaled(1000), &answers[i].infos))
          << "readyok late: " << fens[i];
  }
  for (size_t i = 0; i < fens.size(); i++) {
    for (const auto& l : answers[i].infos)
      EXPECT_FALSE(startsWith(l, "bestmove")) << fens[i] << ": " << l;
    sessions[i]->send("stop");
    Answer a = sessions[i]->waitBestMove(scaled(2000));
    a.infos.insert(a.infos.begin(), answers[i].infos.begin(), answers[i].infos.end());
    answers[i] = a;
  }
  // Stops of thinks of every kind. The engine answers within 50 ms; on a
  // machine busy with other work a single answer may be held up, so the
  // median is held to 50 ms and each one to a generous bound.
  Session& s = *sessions[0];
  for (const char* go :
       {"go movetime 600000", "go ponder", "go wtime 3600000 btime 3600000",
        "go wtime 600000 btime 600000 movestogo 1", "go depth 60", "go nodes 1000000000000"}) {
    s.sendAll({std::string("position fen ") + kMiddlegame, go});
    pause(200);
    s.send("stop");
    answers.push_back(s.waitBestMove(scaled(2000)));
  }
  std::vector<long long> latencies;
  for (size_t i = 0; i < answers.size(); i++) {
    Referee r(i < fens.size() ? fens[i] : kMiddlegame);
    expectLegalAnswer(r, answers[i]);
    EXPECT_LE(answers[i].elapsedMs, 1000 * kSlowdown) << answers[i].line;
    latencies.push_back(answers[i].elapsedMs);
  }
  std::sort(latencies.begin(), latencies.end());
  EXPECT_LE(latencies[latencies.size() / 2], 50 * kSlowdown)
      << "fastest " << latencies.front() << " ms, slowest " << latencies.back() << " ms";
  s.send("stop");  // with no think running: nothing
  EXPECT_TRUE(s.silentFor("bestmove", Millis(200)));
}

TEST(UciProtocol, PonderHitAndPonderStop) {
  // The position sent ends with the expected reply; the engine ponders on
  // it and answers only after "ponderhit" or "stop". "go ponder" is a ponder
  // search even with the Ponder option off, which names no expected reply.
  struct Case {
    const char* option;
    const char* go;
    const char* end;
  };
  const Case cases[] = {{"true", "go ponder wtime 4000 btime 4000 winc 0 binc 0", "ponderhit"},
                        {"true", "go ponder wtime 4000 btime 4000", "stop"},
                        {"true", "go ponder depth 2", "ponderhit"},  // waits at its depth bound
                        {"false", "go ponder movetime 100", "stop"}};
  Session s;
  s.handshake();
  Referee r;
  ASSERT_TRUE(r.playAll({"e2e4", "e7e5", "g1f3", "b8c6"}));
  for (const Case& c : cases) {
    s.sendAll({std::string("setoption name Ponder value ") + c.option,
               "position startpos moves e2e4 e7e5 g1f3 b8c6", c.go});
    EXPECT_TRUE(s.silentFor("bestmove", Millis(500))) << c.go;
    s.send(c.end);
    Answer a = s.waitBestMove(scaled(2000));
    expectLegalAnswer(r, a);
    EXPECT_EQ(a.ponder.empty(), std::string(c.option) == "false") << c.go << ": " << a.line;
  }
  EXPECT_TRUE(endedCleanly(s.quit()));
}

// The engine's own time limit of a clock think, in milliseconds.
long long clockMs(float remaining, int increment, int movesToGo) {
  return clockBudget(remaining, increment, movesToGo) / 1000;
}

TEST(UciProtocol, EveryLimitIsAnsweredInTimeWithALegalMove) {
  // Room beyond the engine's own limit for a loaded machine; the depth and
  // node limits have no time of their own.
  const long long margin = 300 * kSlowdown;
  const long long untimed = 3000 * kSlowdown;
  struct Case {
    std::string fen, moves, go;
    long long limitMs;
    std::string expect;  // the move, '.' standing for any character
  };
  const std::string mid = kMiddlegame;
  const std::vector<Case> cases = {
      {kStartFen, "", "go depth 1", untimed, ""},
      {mid, "", "go depth 5", untimed, ""},
      {mid, "", "go depth -3", untimed, ""},
      {mid, "", "go nodes 1", untimed, ""},
      {mid, "", "go movetime 300", moveTimeLimit(300000) / 1000, ""},
      {mid, "", "go movetime 0", 0, ""},
      // The increments and moves to go of one "go" are not kept for the next.
      {mid, "", "go wtime 1000 btime 1000 winc 100000 binc 100000", clockMs(1000, 100000, 0), ""},
      {mid, "", "go wtime 2000 btime 2000", clockMs(2000, 0, 0), ""},
      {mid, "", "go wtime 1000 btime 1000 movestogo 1", clockMs(1000, 0, 1), ""},
      {mid, "", "go wtime 4000 btime 4000", clockMs(4000, 0, 0), ""},
      {mid, "", "go btime 100 wtime 100 movestogo 5", clockMs(100, 0, 5), ""},
      {mid, "", "go wtime 10000 btime 10000 winc 500 binc 500", clockMs(10000, 500, 0), ""},
      {mid, "", "go wtime 0 btime 0", clockMs(0, 0, 0), ""},
      {mid, "", "go wtime -500 btime -500 winc 100 binc 100", clockMs(0, 100, 0), ""},
      {kStartFen, "e2e4", "go wtime 100000 btime 100", clockMs(100, 0, 0), ""},
      {kMated, "", "go depth 3", untimed, "0000"},
      {kStalemate, "", "go wtime 1000 btime 1000", clockMs(1000, 0, 0), "0000"},
      {"8/P7/8/8/8/8/6k1/4K3 w - - 0 1", "", "go depth 6", untimed, "a7a8q"},
      {"8/8/8/8/8/5K2/4p3/3Q2k1 b - - 0 1", "", "go depth 6", untimed, "e2d1."},
  };
  Session s;
  s.handshake();
  for (const auto& c : cases) {
    Referee r(c.fen);
    ASSERT_TRUE(c.moves.empty() || r.play(c.moves));
    s.sendAll({"position fen " + c.fen + (c.moves.empty() ? "" : " moves " + c.moves), c.go});
    Answer a = s.waitBestMove(Millis(c.limitMs + margin + 10000));
    EXPECT_LE(a.elapsedMs, c.limitMs + margin) << c.go << " (own limit " << c.limitMs << " ms)";
    expectLegalAnswer(r, a);
    if (!c.expect.empty()) {
      bool same = a.bestmove.size() == c.expect.size();
      for (size_t i = 0; same && i < c.expect.size(); i++)
        same = c.expect[i] == '.' || c.expect[i] == a.bestmove[i];
      EXPECT_TRUE(same) << c.go << " in " << c.fen << ": " << a.line;
    }
    if (c.go == "go depth 5") {
      ASSERT_FALSE(a.infos.empty());
      EXPECT_TRUE(startsWith(a.infos.back(), "info depth 5 ")) << a.infos.back();
    }
  }
  EXPECT_TRUE(endedCleanly(s.quit()));
}

TEST(UciProtocol, LinesDuringAThinkWaitForItsEndUciNewGameStopsIt) {
  Session s;
  s.handshake();
  s.sendAll({std::string("position fen ") + kMiddlegame, "go infinite"});
  pause(200);
  // These change the board or the tables: they run after the think, in order.
  s.sendAll({"position startpos moves e2e4", "perft 1", "setoption name Hash value 8", "go depth 2",
             "uci"});
  EXPECT_TRUE(s.silentFor("bestmove", Millis(300)));
  EXPECT_TRUE(s.ready(scaled(1000)));
  s.send("stop");
  Referee first(kMiddlegame);
  expectLegalAnswer(first, s.waitBestMove(scaled(1000)));
  Answer a = s.waitBestMove(Millis(5000));
  ASSERT_GE(a.infos.size(), 2u);
  EXPECT_TRUE(startsWith(a.infos[0], "depth |"));  // the perft table after e2e4
  EXPECT_EQ(words(a.infos[1])[1], "20");
  a.infos.erase(a.infos.begin(), a.infos.begin() + 2);
  Referee second;
  second.play("e2e4");
  expectLegalAnswer(second, a);
  Lines ids;
  EXPECT_TRUE(s.waitFor("uciok", Millis(5000), &ids));
  EXPECT_EQ(ids, kIdentification);

  // "ucinewgame" ends a think of any kind with its move, as "stop" does;
  // the new game then stands.
  for (const char* go : {"go infinite", "go movetime 600000", "go ponder"}) {
    s.sendAll({std::string("position fen ") + kMiddlegame, go});
    pause(100);
    s.send("ucinewgame");
    Referee middlegame(kMiddlegame);
    expectLegalAnswer(middlegame, s.waitBestMove(scaled(1000)));
    ASSERT_TRUE(s.ready(scaled(1000)));
    s.send("go depth 3");
    Referee r;
    expectLegalAnswer(r, s.waitBestMove(Millis(10000)));
  }
  EXPECT_TRUE(endedCleanly(s.quit()));
}

// The node count of "perft 1" on the engine's position.
std::string perftOne(Session& s) {
  s.send("perft 1");
  return words(s.waitFor(" 1.", Millis(10000)).value_or(" 1. none"))[1];
}

TEST(UciProtocol, PerftDivideAndOptions) {
  Session s;
  s.handshake();
  s.sendAll({"position startpos", "perft 3"});
  Lines rows;
  EXPECT_EQ(words(s.waitFor(" 3.", Millis(10000), &rows).value_or(" 3. none"))[1], "8902");
  EXPECT_EQ(rows.size(), 3u);  // the header and depths 1 and 2
  s.send("divide 2");
  EXPECT_EQ(s.linesBefore("isready", "readyok").size(), 20u);  // a count for each move
  // Missing, zero, negative or too large depths: the header or nothing.
  s.sendAll({"perft", "perft 0", "perft -2", "perft 64", "perft 99999999999999", "divide",
             "divide 0", "divide -1", "divide 65"});
  for (const auto& l : s.linesBefore("isready", "readyok"))
    EXPECT_TRUE(startsWith(l, "depth |")) << l;

  // Hash is held to what the table accepts and the game stays; a missing
  // book is reported; unknown options and malformed lines get no reply.
  s.sendAll({"position startpos moves e2e4", "setoption name Hash value 0",
             "setoption name Hash value 99999999999999999999"});
  EXPECT_EQ(perftOne(s), "20");
  s.sendAll({"setoption name Book File value /nonexistent/book.bin",
             "setoption name OwnBook value true"});
  EXPECT_TRUE(s.waitFor("info string book file not found", Millis(5000)));
  s.sendAll({"setoption name OwnBook value false", "setoption name Foo value 1", "setoption",
             "setoption name", "setoption Hash value 8", "setoption name Hash", "debug on"});
  EXPECT_EQ(s.linesBefore("isready", "readyok"), Lines{});
  s.send("go depth 2");
  Referee r;
  r.play("e2e4");
  expectLegalAnswer(r, s.waitBestMove(Millis(10000)));
  EXPECT_TRUE(endedCleanly(s.quit()));
}

// A legal move after which the side to move still has a move.
std::string moveKeepingTheGameOpen(Referee& r) {
  ChessBoardUCI& b = r.board();
  b.buildLegalMoves();
  std::vector<ChessMove> list;
  for (u32 i = 0; i < b.legalMoveCount; i++) list.push_back(b.legalMoves[i].move);
  for (ChessMove m : list) {
    char text[MOVE_TEXT_SIZE];
    coordinateText(m, text);
    if (!r.play(text)) continue;
    if (r.legalMoveCount() > 0) return text;
    b.takeBack();
  }
  return "";
}

TEST(UciProtocol, SixHundredPlyGame) {
  // Every move is the engine's answer to the game so far, except that a
  // move ending the game is replaced, so that the game reaches its length.
  Session s;
  s.handshake();
  s.send("ucinewgame");
  Referee r;
  std::string moves;
  for (int ply = 0; ply < 600; ply++) {
    s.sendAll({"position startpos" + (moves.empty() ? "" : " moves" + moves),
               ply % 2 ? "go nodes 400" : "go depth 2"});
    Answer a = s.waitBestMove(Millis(10000));
    expectLegalAnswer(r, a);
    if (HasFailure()) return;
    std::string move = a.bestmove;
    ASSERT_TRUE(r.play(move));
    if (r.legalMoveCount() == 0) {
      r.board().takeBack();
      move = moveKeepingTheGameOpen(r);
      ASSERT_FALSE(move.empty());
    }
    moves += " " + move;
  }
  EXPECT_EQ(r.board().curMoveIndex, 600u);
  EXPECT_TRUE(endedCleanly(s.quit()));
}

TEST(UciProtocol, PositionLinesOfFourThousandPlies) {
  // e4 e5, then knight shuffles: 4096 plies in all, some 20 KB in one line.
  // The game record is then full: the engine's move is still named.
  std::string moves = " e2e4 e7e5";
  for (int i = 0; i < 1023; i++) moves += " g1f3 b8c6 f3g1 c6b8";
  moves += " g1f3 b8c6";
  Session s;
  s.handshake();
  s.send("position startpos moves" + moves);
  Referee r;
  r.playAll({"e2e4", "e7e5", "g1f3", "b8c6"});
  const std::string count = std::to_string(r.legalMoveCount());
  EXPECT_EQ(perftOne(s), count);
  s.send("go depth 3");
  expectLegalAnswer(r, s.waitBestMove(Millis(10000)));
  s.send("go wtime 1000 btime 1000");
  expectLegalAnswer(r, s.waitBestMove(Millis(10000)));
  // Beyond the game record's 4096 plies the rest of the list is refused.
  s.send("position startpos moves" + moves + " f1c4 g8f6 c4f7");
  EXPECT_EQ(perftOne(s), count);
  EXPECT_TRUE(endedCleanly(s.quit()));
}

}  // namespace
}  // namespace e2e
