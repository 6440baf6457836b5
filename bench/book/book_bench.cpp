// Book-building benchmark: writes a seeded PGN collection, runs the
// program's "-buildbook" on it at depth 20 with minimum counts 1 and 3, and
// reports the wall time and peak memory of each run; then builds the same
// books step by step (every sequence replayed from the start position) and
// checks that the files are identical.
//
// Usage: quarvel_book_bench <program> <work directory> [games]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/book/seeded_pgn.h"
#include "bench/book/stepwise_book.h"

namespace {

const int DEPTH = 20;
const unsigned PLIES = 80;
const unsigned SEED = 20261209;

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs the program with the arguments; its exit status, wall seconds and
// peak resident memory in MB.
int run(const std::vector<std::string>& args, double* seconds, double* peakMB) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  *seconds = secondsSince(start);
  *peakMB = usage.ru_maxrss / 1024.0;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: %s <program> <work directory> [games]\n", argv[0]);
    return 2;
  }
  const std::string program = argv[1], dir = argv[2];
  const unsigned games = argc > 3 ? (unsigned)strtoul(argv[3], nullptr, 10) : 100000;
  const std::string pgn = dir + "/seeded.pgn";

  auto start = std::chrono::steady_clock::now();
  if (!bookbench::writeSeededPgn(pgn, games, PLIES, SEED)) {
    fprintf(stderr, "cannot write %s\n", pgn.c_str());
    return 1;
  }
  printf("PGN: %u games of %u plies, seed %u, %zu bytes, written in %.1f s\n", games, PLIES, SEED,
         contents(pgn).size(), secondsSince(start));

  bool allIdentical = true;
  for (int count : {1, 3}) {
    const std::string book = dir + "/book" + std::to_string(count) + ".bin";
    const std::string reference = dir + "/stepwise" + std::to_string(count) + ".bin";
    double seconds = 0, peakMB = 0;
    const int status =
        run({program, "-buildbook", pgn, book, std::to_string(DEPTH), std::to_string(count)},
            &seconds, &peakMB);
    start = std::chrono::steady_clock::now();
    const bool built = bookbench::stepwiseBuildBook(pgn, reference, DEPTH, count);
    const double stepwiseSeconds = secondsSince(start);
    const std::string bytes = contents(book);
    const bool identical = built && status == 1 && bytes == contents(reference);
    allIdentical = allIdentical && identical;
    printf(
        "-buildbook depth %d count %d: exit %d, %.2f s, peak %.0f MB, book %zu bytes; "
        "step-by-step build %.1f s: %s\n",
        DEPTH, count, status, seconds, peakMB, bytes.size(), stepwiseSeconds,
        identical ? "identical" : "DIFFERENT");
  }
  return allIdentical ? 0 : 1;
}
