// Book-loading benchmark: writes a book of 12 million positions (about
// 264 MB) and one of 200,000 positions twice, with its keys in descending
// and in ascending order, then has each program load each book over UCI,
// the programs alternating round by round. For every load it reports the
// time from the book's option to "readyok", the program's peak resident
// memory and that peak less the program's peak without a book, and checks
// that the book answers the start position with its move.
//
// Usage: quarvel_bookload_bench <work directory> <rounds> <program>...
//   A program may be a command with its emulator ("qemu-i386 build/quarvel32").
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "bench/book/synthetic_book.h"
#include "tests/support/child_process.h"
#include "tests/support/proc_status.h"
#include "tests/support/quiet_board.h"

namespace {

using testsupport::ChildProcess;
using testsupport::Millis;

struct Book {
  std::string name, path;
  u32 nodes;
  bool descending;
};

// What one load gave; seconds < 0 when the program gave no "readyok".
struct Load {
  double seconds = -1;
  double peakMB = 0;
  bool answered = false;  // the start position's book move came back
};

std::vector<std::string> wordsOf(const std::string& command) {
  std::istringstream in(command);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

// Starts the program, switches the book on (none when path is empty) and
// times it up to "readyok"; then asks for the start position's move.
Load loadOnce(const std::string& command, const std::string& path) {
  std::vector<std::string> words = wordsOf(command);
  ChildProcess engine(words[0], std::vector<std::string>(words.begin() + 1, words.end()));
  const Millis wait(600000);
  Load load;
  engine.writeLine("uci");
  if (!engine.readUntilPrefix("uciok", wait)) return load;
  const auto start = std::chrono::steady_clock::now();
  if (!path.empty()) {
    engine.writeLine("setoption name Book File value " + path);
    engine.writeLine("setoption name OwnBook value true");
  }
  engine.writeLine("isready");
  if (!engine.readUntilPrefix("readyok", wait)) return load;
  load.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!path.empty()) {
    engine.writeLine("position startpos");
    engine.writeLine("go depth 40");
    auto best = engine.readUntilPrefix("bestmove", Millis(60000));
    load.answered = best && best->compare(0, 13, "bestmove e2e4") == 0;
  }
  load.peakMB = testsupport::statusBytes(engine.pid(), "VmHWM") / 1048576.0;
  engine.writeLine("quit");
  engine.closeStdin();
  engine.wait(Millis(10000));
  return load;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    fprintf(stderr, "usage: %s <work directory> <rounds> <program>...\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  const int rounds = std::max(1, atoi(argv[2]));
  const std::vector<std::string> programs(argv + 3, argv + argc);

  // 1. The books, each holding the start position with e2e4.
  QuietBoard board;
  board.init(1);
  board.newGame();
  board.buildLegalMoves();
  const u64 key = board.currentNode.hashKey;
  char text[] = "e4";
  ChessMove e2e4;
  board.createMove(text, e2e4);
  const std::vector<Book> books = {
      {"12M ascending", dir + "/big.bin", 12000000, false},
      {"200k descending", dir + "/descending.bin", 200000, true},
      {"200k ascending", dir + "/ascending.bin", 200000, false},
  };
  for (const Book& b : books) {
    if (!bookbench::writeSyntheticBook(b.path, b.nodes, b.descending, key, e2e4)) {
      fprintf(stderr, "cannot write %s\n", b.path.c_str());
      return 1;
    }
    printf("book %-16s %9u positions, %11llu bytes\n", b.name.c_str(), b.nodes,
           12ull + 22ull * b.nodes);
  }

  // 2. Every program without a book and with each, the programs taking
  //    turns within each round.
  bool allAnswered = true;
  std::vector<std::vector<std::vector<Load>>> loads(
      programs.size(), std::vector<std::vector<Load>>(books.size() + 1));
  for (int r = 0; r < rounds; r++)
    for (size_t b = 0; b <= books.size(); b++)
      for (size_t p = 0; p < programs.size(); p++)
        loads[p][b].push_back(loadOnce(programs[p], b ? books[b - 1].path : ""));

  // 3. Medians by program and book.
  for (size_t p = 0; p < programs.size(); p++) {
    std::vector<double> basePeaks;
    for (const Load& l : loads[p][0]) basePeaks.push_back(l.peakMB);
    const double base = median(basePeaks);
    printf("\n%s: peak without a book %.0f MB\n", programs[p].c_str(), base);
    for (size_t b = 1; b <= books.size(); b++) {
      std::vector<double> seconds, peaks;
      int failed = 0, wrong = 0;
      for (const Load& l : loads[p][b]) {
        if (l.seconds < 0) {
          failed++;
          continue;
        }
        if (!l.answered) wrong++;
        seconds.push_back(l.seconds);
        peaks.push_back(l.peakMB);
      }
      allAnswered = allAnswered && failed == 0 && wrong == 0;
      if (seconds.empty()) {
        printf("  %-16s NO READYOK in any round\n", books[b - 1].name.c_str());
        continue;
      }
      const double fileMB = (12.0 + 22.0 * books[b - 1].nodes) / (1 << 20);
      printf("  %-16s load %7.3f s, peak %6.0f MB, book in memory %6.0f MB (%.2f x file)%s%s\n",
             books[b - 1].name.c_str(), median(seconds), median(peaks), median(peaks) - base,
             (median(peaks) - base) / fileMB, failed ? ", NO READYOK in some rounds" : "",
             wrong ? ", NO BOOK MOVE in some rounds" : "");
    }
  }
  return allAnswered ? 0 : 1;
}
