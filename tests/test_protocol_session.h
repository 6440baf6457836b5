// A conversation with the real program over pipes, as a user interface
// holds it (UCI or WinBoard): standard input stays open, lines are read with
// timeouts, and every move the engine names is checked on a board of our
// own that follows the position the conversation has set up.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "protocol/chessboarduci.h"
#include "tests/support/child_process.h"
#include "tests/support/slowdown.h"
#include "tests/support/test_paths.h"

namespace e2e {

using testsupport::ChildProcess;
using testsupport::Millis;
using Clock = std::chrono::steady_clock;
using Lines = std::vector<std::string>;

using testsupport::kSlowdown;

inline Millis scaled(int ms) { return Millis(ms * kSlowdown); }

inline long long millisSince(Clock::time_point start) {
  return std::chrono::duration_cast<Millis>(Clock::now() - start).count();
}
inline bool startsWith(const std::string& s, const std::string& prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}
inline Lines words(const std::string& line) {
  std::istringstream in(line);
  Lines out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

const char* const kStartFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
// A middlegame in which a search is never short of work.
const char* const kMiddlegame =
    "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP1B1PPP/R2QKB1R w KQ - 0 8";

// Our own board, following the position of the conversation.
class Referee {
public:
  explicit Referee(std::string fen = kStartFen) : board_(new ChessBoardUCI()) {
    board_->init(2);
    board_->newGame();
    board_->setFENPosition(&fen[0]);
  }
  ~Referee() { board_->free(); }

  // Plays a move when it is legal here and written as the protocols write
  // it: four coordinates, and the promotion letter exactly when it promotes.
  bool play(std::string move) {
    if (move.size() != 4 && move.size() != 5) return false;
    for (int i = 0; i < 4; i += 2)
      if (move[i] < 'a' || move[i] > 'h' || move[i + 1] < '1' || move[i + 1] > '8') return false;
    int from = (move[0] - 'a') + 8 * (move[1] - '1');
    bool promotes =
        board_->currentNode.pieceArray[from] == PAWN && (move[3] == '1' || move[3] == '8');
    return promotes == (move.size() == 5) && board_->setMoveSquare(&move[0]) != 0;
  }
  bool playAll(const Lines& moves) {
    return std::all_of(moves.begin(), moves.end(),
                       [this](const std::string& m) { return play(m); });
  }
  // Every move of the list legal in turn; the position is left as it was.
  bool legalLine(const Lines& moves) {
    size_t played = 0;
    while (played < moves.size() && play(moves[played])) played++;
    for (size_t i = 0; i < played; i++) board_->takeBack();
    return played == moves.size();
  }
  bool legal(const std::string& move) { return legalLine({move}); }
  unsigned legalMoveCount() { return board_->countLegalMoves(); }
  ChessBoardUCI& board() { return *board_; }

private:
  std::unique_ptr<ChessBoardUCI> board_;
};

// What a UCI think answered.
struct Answer {
  bool arrived = false;
  std::string bestmove, ponder, line;  // the move, its expected reply, the line
  Lines infos;                         // the lines before it
  long long elapsedMs = 0;             // from the call of waitBestMove
};

class Session {
public:
  explicit Session(const testsupport::SpawnOptions& options = testsupport::SpawnOptions())
      : child_(testsupport::programPath(), {}, options) {}

  ChildProcess& child() { return child_; }
  bool send(const std::string& line) { return child_.writeLine(line); }
  void sendAll(const Lines& lines) {
    for (const auto& l : lines) send(l);
  }

  // The next line with this prefix; the lines passed over are appended to
  // skipped.
  std::optional<std::string> waitFor(const std::string& prefix, Millis timeout,
                                     Lines* skipped = nullptr) {
    return child_.readUntilPrefix(prefix, timeout, skipped);
  }
  bool silentFor(const std::string& prefix, Millis time, Lines* seen = nullptr) {
    return !waitFor(prefix, time, seen);
  }
  // Sends command and reads up to the line answer.
  bool answered(const std::string& command, const std::string& answer, Millis timeout,
                Lines* skipped = nullptr) {
    send(command);
    auto is = [&answer](const std::string& l) { return l == answer; };
    return child_.readUntil(is, timeout, skipped).has_value();
  }
  // The lines written before the answer to command; "<no answer>" last when
  // the answer does not come.
  Lines linesBefore(const std::string& command, const std::string& answer,
                    Millis timeout = scaled(10000)) {
    Lines lines;
    if (!answered(command, answer, timeout, &lines)) lines.push_back("<no answer>");
    return lines;
  }

  // UCI: "uci" up to "uciok", returning the lines between (the banner first).
  Lines handshake() {
    Lines lines;
    EXPECT_TRUE(answered("uci", "uciok", Millis(10000), &lines)) << "no uciok";
    return lines;
  }
  bool ready(Millis timeout = Millis(10000), Lines* skipped = nullptr) {
    return answered("isready", "readyok", timeout, skipped);
  }
  Answer waitBestMove(Millis timeout) {
    Answer a;
    auto start = Clock::now();
    auto line = waitFor("bestmove", timeout, &a.infos);
    a.elapsedMs = millisSince(start);
    a.arrived = line.has_value();
    a.line = line.value_or("");
    auto w = words(a.line);
    if (w.size() >= 2) a.bestmove = w[1];
    if (w.size() >= 4 && w[2] == "ponder") a.ponder = w[3];
    return a;
  }

  // WinBoard: "xboard" and "protover 2", returning the line after the banner.
  std::string xboard() {
    EXPECT_TRUE(child_.readLine(Millis(10000))) << "no banner";
    sendAll({"xboard", "protover 2"});
    return child_.readLine(Millis(10000)).value_or("<nothing>");
  }
  // The lines before "pong n".
  Lines ping(int n) {
    return linesBefore("ping " + std::to_string(n), "pong " + std::to_string(n));
  }
  // The move of the next "move" line, "" when none comes in time.
  std::string waitMove(Millis timeout = scaled(10000), Lines* skipped = nullptr) {
    return waitFor("move ", timeout, skipped).value_or("move ").substr(5);
  }

  // "quit"; the program then ends by itself, returning 1.
  testsupport::ExitStatus quit(Millis timeout = Millis(10000)) {
    send("quit");
    child_.closeStdin();
    return child_.wait(timeout);
  }

private:
  ChildProcess child_;
};

inline bool endedCleanly(const testsupport::ExitStatus& s) {
  return s.exited && s.code == 1 && !s.timedOut;
}

// The moves after the word "pv" of a UCI info line, or after the fourth
// field of a WinBoard thinking line (depth score time nodes pv...).
inline Lines pvOf(const std::string& line) {
  auto w = words(line);
  size_t first = w.size();
  if (w.size() > 4 && w[0] != "info") first = 4;
  for (size_t i = 0; i < w.size(); i++)
    if (w[i] == "pv") first = i + 1;
  return Lines(w.begin() + std::min(first, w.size()), w.end());
}

// A legal best move ("0000" exactly when there is none), a legal expected
// reply after it, and legal moves in every "pv" and "currmove" before it.
inline void expectLegalAnswer(Referee& referee, const Answer& a) {
  ASSERT_TRUE(a.arrived) << "no bestmove";
  if (referee.legalMoveCount() == 0) {
    EXPECT_EQ(a.bestmove, "0000") << a.line;
  } else {
    EXPECT_TRUE(referee.legal(a.bestmove)) << a.line;
    EXPECT_TRUE(a.ponder.empty() || referee.legalLine({a.bestmove, a.ponder})) << a.line;
  }
  for (const auto& info : a.infos) {
    bool legal = startsWith(info, "info currmove ") ? referee.legal(words(info)[2])
                 : startsWith(info, "info depth ")  ? referee.legalLine(pvOf(info))
                                                    : true;
    EXPECT_TRUE(legal) << info;
  }
}

}  // namespace e2e
