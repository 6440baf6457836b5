// Seeded, bounded fuzzing of the record readers: hostile and mutated PGN,
// EPD and perft-suite files through the readers, the book builder (and the
// reader of the books it writes), replay and both tools. Each must end normally; the sanitizer
// build turns any memory or undefined-behaviour fault into a failure.
#include <gtest/gtest.h>

#include <random>

#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_board.h"
#include "tests/support/test_paths.h"

namespace {

using testsupport::TempDir;

const std::string PGN =
    "[Event \"F\"]\n[Result \"1-0\"]\n\n1. e4 {c} e5 2. Nf3 $1 (2. d4 exd4) 2... Nc6 3. Bb5 a6 "
    "4. Ba4 Nf6 5. O-O Be7 6. Re1 b5 7. Bb3 d6 8. c3 O-O 9. h3 1-0\n\n";
const std::string EPD =
    "6k1/5ppp/8/8/8/8/8/R5K1 w - - bm Ra8#; id \"a\";\n"
    "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - bm Bb5; id \"b\";\n";

// Hostile texts around a sound sample, then the sample with random edits:
// bytes changed, inserted (often punctuation), deleted or repeated.
std::vector<std::string> corpus(const std::string& sound, unsigned seed, int mutants) {
  std::mt19937 rng(seed);
  std::string garbage, cr = sound, nul = sound, crlf;
  for (int i = 0; i < 4096; i++) garbage += (char)(rng() & 0xFF);
  for (char& c : cr) c = c == '\n' ? '\r' : c;
  for (size_t i = 5; i < nul.size(); i += 17) nul[i] = '\0';
  for (char c : sound) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  std::vector<std::string> texts = {
      garbage,
      cr,
      nul,
      crlf,
      "{" + sound,
      "[Event \"" + sound,
      "1. e4 (" + sound,
      sound + std::string(5000, 'x') + " " + std::string(5000, ';'),
      "1. e4 " + std::string(200, '(') + "d4 " + std::string(200, ')') + " e5 1-0\n" + sound,
      std::string(10000, '(') + sound,
      std::string(10000, '{') + std::string(10000, '}') + sound,
      "[" + std::string(5000, 'N') + " \"" + std::string(5000, 'v') + "\"]\n" + sound,
      ""};
  static const std::string special = "[]{}()\"$.;-/*0123456789 \n\r\tabcdefghNBRQKOx=+#";
  for (int i = 0; i < mutants; i++) {
    std::string s = sound + sound;
    for (int edits = 1 + rng() % 8; edits > 0 && !s.empty(); edits--) {
      const size_t at = rng() % s.size();
      switch (rng() % 4) {
        case 0: s[at] = (char)(rng() & 0xFF); break;
        case 1: s.insert(at, 1, special[rng() % special.size()]); break;
        case 2: s.erase(at, 1 + rng() % 8); break;
        default: s.insert(at, s.substr(at, rng() % 64)); break;
      }
    }
    texts.push_back(s);
  }
  return texts;
}

// A tool run ends by itself, status 0 or 1, with at most its one error line.
void expectCleanRun(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {testsupport::programPath()};
  argv.insert(argv.end(), args.begin(), args.end());
  auto r = testsupport::runCommand(argv, std::chrono::seconds(120), "uci\nquit\n");
  EXPECT_TRUE(r.status.exited && (r.status.code == 0 || r.status.code == 1))
      << r.status.describe() << r.err;
  EXPECT_LE(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
}

}  // namespace

TEST(RecordsFuzz, PgnReadersBuilderAndReplay) {
  TempDir dir;
  auto board = newTestBoard();
  std::mt19937 rng(77);
  const std::vector<std::string> texts = corpus(PGN, 1, 120);
  for (size_t i = 0; i < texts.size(); i++) {
    const std::string pgn = dir.write("f.pgn", texts[i]);
    ChessGameLibrary library;
    library.load(pgn);
    for (ChessGame* g : library.gameList) board->playGame(g);
    const int depth = (int)(rng() % 40) - 2;
    board->buildOpeningBook(pgn, dir.path + "/f.bin", depth, (int)(rng() % 3));
    board->loadOpeningBook(dir.path + "/f.bin");
    if (i % 16 == 0)
      expectCleanRun({"-buildbook", pgn, dir.path + "/t.bin", std::to_string(depth), "1"});
  }
  expectCleanRun({"-buildbook", dir.folder("folder.pgn"), dir.path + "/t.bin", "8", "1"});
}

TEST(RecordsFuzz, EpdAndPerftSuites) {
  TempDir dir;
  auto board = newTestBoard();
  board->setEngineSearchMode(MODE_DEPTH, 1, 0);
  const std::vector<std::string> texts = corpus(EPD, 2, 60);
  for (size_t i = 0; i < texts.size(); i++) {
    const std::string epd = dir.write("f.epd", texts[i]);
    // Perft lines with at most two depth fields keep the counts small.
    std::string perft, line;
    for (char c : texts[i] + "\n")
      if ((line += c), c == '\n') {
        if (std::count(line.begin(), line.end(), ';') <= 2) perft += line;
        line.clear();
      }
    testing::internal::CaptureStdout();
    board->runEvalTestSuite(epd);
    board->runTestSuite(epd);
    board->runPerftSuite(dir.write("p.epd", perft));
    testing::internal::GetCapturedStdout();
    if (i % 12 == 0) expectCleanRun({"-testsuite", epd, "0"});
  }
  expectCleanRun({"-testsuite", dir.folder("folder.epd"), "0"});
}
