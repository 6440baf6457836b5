// A UCI conversation with the real program, as a GUI holds it: the engine's
// standard input stays open, lines are read with timeouts, and every move
// the engine writes is checked against a board of our own that follows the
// position the conversation has set up.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/test_board.h"
#include "tests/support/test_paths.h"

namespace ucitest {

using testsupport::ChildProcess;
using testsupport::Millis;
using Clock = std::chrono::steady_clock;

// Timing bounds are looser under the sanitizers, where the engine runs
// several times slower.
#ifdef QUARVEL_SANITIZE
const int kSlowdown = 8;
#else
const int kSlowdown = 1;
#endif

inline Millis scaled(int ms) { return Millis(ms * kSlowdown); }

inline long long millisSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

inline bool startsWith(const std::string& s, const std::string& prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}

inline std::vector<std::string> words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

const char* const kStartFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

// Our own board, following the position of the conversation.
class Referee {
public:
  Referee() : board_(newTestBoard()) {}

  bool setFen(const std::string& fen) {
    std::vector<char> text(fen.begin(), fen.end());
    text.push_back('\0');
    return board_->setFENPosition(text.data()) != 0;
  }
  void setStart() { setFen(kStartFen); }

  // Plays a UCI move when it is legal here and is written as UCI writes it:
  // four coordinates, and the promotion letter exactly when it promotes.
  bool play(const std::string& move) {
    if (move.size() != 4 && move.size() != 5) return false;
    if (move[0] < 'a' || move[0] > 'h' || move[1] < '1' || move[1] > '8' || move[2] < 'a' ||
        move[2] > 'h' || move[3] < '1' || move[3] > '8')
      return false;
    int from = (move[0] - 'a') + 8 * (move[1] - '1');
    int toRank = move[3] - '1';
    bool promotes = board_->currentNode.pieceArray[from] == PAWN && (toRank == 0 || toRank == 7);
    if (promotes != (move.size() == 5)) return false;
    char text[8];
    strcpy(text, move.c_str());
    return board_->setMoveSquare(text) != 0;
  }

  // True when every move of the list is legal in turn; the position is left
  // as it was.
  bool legalLine(const std::vector<std::string>& moves) {
    size_t played = 0;
    bool ok = true;
    for (const auto& m : moves) {
      if (!play(m)) {
        ok = false;
        break;
      }
      played++;
    }
    for (size_t i = 0; i < played; i++) board_->takeBack();
    return ok;
  }
  bool legal(const std::string& move) { return legalLine({move}); }

  unsigned legalMoveCount() { return board_->countLegalMoves(); }
  TestBoard& board() { return *board_; }

private:
  std::unique_ptr<TestBoard> board_;
};

// What a think answered.
struct Answer {
  bool arrived = false;
  std::string bestmove;                 // the move of the "bestmove" line
  std::string ponder;                   // its expected reply, if any
  std::string line;                     // the "bestmove" line itself
  std::vector<std::string> infos;       // "info" lines before it
  long long elapsedMs = 0;              // from the call of waitBestMove
};

// The moves of the "pv" part of an info line.
inline std::vector<std::string> pvOf(const std::string& info) {
  auto w = words(info);
  std::vector<std::string> pv;
  for (size_t i = 0; i < w.size(); i++) {
    if (w[i] == "pv") {
      pv.assign(w.begin() + i + 1, w.end());
      break;
    }
  }
  return pv;
}

class Session {
public:
  explicit Session(const std::string& program = testsupport::programPath())
      : child_(program, {}) {}

  ChildProcess& child() { return child_; }

  bool send(const std::string& line) { return child_.writeLine(line); }

  std::optional<std::string> waitFor(const std::string& prefix, Millis timeout,
                                     std::vector<std::string>* skipped = nullptr) {
    return child_.readUntilPrefix(prefix, timeout, skipped);
  }

  // "uci" ... "uciok"; the lines in between are returned.
  std::vector<std::string> handshake() {
    std::vector<std::string> lines;
    send("uci");
    auto ok = child_.readUntil([](const std::string& l) { return l == "uciok"; }, Millis(10000),
                               &lines);
    EXPECT_TRUE(ok.has_value()) << "no uciok";
    return lines;
  }

  // "isready" answered with "readyok" within timeout; the lines passed over
  // are appended to skipped.
  bool ready(Millis timeout = Millis(10000), std::vector<std::string>* skipped = nullptr) {
    send("isready");
    return child_.readUntil([](const std::string& l) { return l == "readyok"; }, timeout,
                            skipped)
        .has_value();
  }

  // Reads up to the next "bestmove" line.
  Answer waitBestMove(Millis timeout) {
    Answer a;
    auto start = Clock::now();
    auto line = child_.readUntilPrefix("bestmove", timeout, &a.infos);
    a.elapsedMs = millisSince(start);
    if (!line) return a;
    a.arrived = true;
    a.line = *line;
    auto w = words(*line);
    if (w.size() >= 2) a.bestmove = w[1];
    if (w.size() >= 4 && w[2] == "ponder") a.ponder = w[3];
    return a;
  }

  // No "bestmove" (nor anything else matching prefix) within the time.
  bool silentFor(const std::string& prefix, Millis time, std::vector<std::string>* seen = nullptr) {
    return !child_.readUntilPrefix(prefix, time, seen).has_value();
  }

  // "quit", then the program must end by itself.
  testsupport::ExitStatus quit(Millis timeout = Millis(10000)) {
    send("quit");
    child_.closeStdin();
    return child_.wait(timeout);
  }

private:
  ChildProcess child_;
};

// The program's exit after "quit": the interactive engine returns 1.
inline bool quitCleanly(const testsupport::ExitStatus& s) {
  return s.exited && s.code == 1 && !s.timedOut;
}

// Checks an answer in the position of the referee: a legal best move (or
// "0000" exactly when there is none), a legal expected reply after it, and
// legal principal variations in every info line.
inline void expectLegalAnswer(Referee& referee, const Answer& a) {
  ASSERT_TRUE(a.arrived) << "no bestmove";
  if (referee.legalMoveCount() == 0) {
    EXPECT_EQ(a.bestmove, "0000") << a.line;
  } else {
    EXPECT_TRUE(referee.legal(a.bestmove)) << a.line;
    if (!a.ponder.empty()) {
      EXPECT_TRUE(referee.legalLine({a.bestmove, a.ponder})) << a.line;
    }
  }
  for (const auto& info : a.infos) {
    if (!startsWith(info, "info")) continue;
    if (startsWith(info, "info currmove ")) {
      EXPECT_TRUE(referee.legal(words(info)[2])) << info;
      continue;
    }
    if (info.find(" pv ") != std::string::npos) {
      EXPECT_TRUE(referee.legalLine(pvOf(info))) << info;
    }
  }
}

}  // namespace ucitest
