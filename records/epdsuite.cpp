// The EPD test suites: the solver, which runs one think per position and
// checks the move played against the line's best moves, and the check that
// every position evaluates as its colour-mirrored twin.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <list>

#include "engine/chessboard.h"
#include "engine/version.h"
#include "records/bestmoves.h"
#include "records/suitelines.h"

namespace {

const char* const DASHES_79 =
    "-------------------------------------------------------------------------------";
const char* const DASHES_54 = "------------------------------------------------------";

// One EPD position: the FEN text (up to and with the blank before "bm"),
// the best-move field and the identifier, each cut to its room.
struct EpdPosition {
  char fen[SUITE_FIELD_SIZE];
  char bestMoves[SUITE_FIELD_SIZE];
  char id[SUITE_FIELD_SIZE];
};

// A tab separates the fields of a line as a blank does; one inside a
// quoted string (an identifier, a comment) is kept.
void blankTabs(char* line) {
  bool quoted = false;
  for (char* c = line; *c; c++) {
    if (*c == '"')
      quoted = !quoted;
    else if (*c == '\t' && !quoted)
      *c = ' ';
  }
}

// Reads a whole line, of any length, by position: FEN, blank, "bm", blank,
// the best moves, ";", blank, "id", blank, the identifier in double
// quotes; the rest of the line is ignored. False when the line has no "bm"
// with a ";" after it. An identifier is empty when fewer than six
// characters follow the ";", and runs to the line end when its closing
// quote is missing. Tabs outside quotes become blanks.
bool parseEpdLine(char* line, EpdPosition& p) {
  blankTabs(line);
  const char* bm = strstr(line, "bm");
  if (!bm) return false;
  const char* best = bm[2] ? bm + 3 : bm + 2;
  const char* semicolon = strchr(best, ';');
  if (!semicolon) return false;
  copySuiteField(p.fen, line, bm);
  copySuiteField(p.bestMoves, best, semicolon);
  const char* id = strlen(semicolon) < 6 ? semicolon + strlen(semicolon) : semicolon + 6;
  const char* idEnd = strchr(id, '"');
  if (!idEnd) idEnd = id + strcspn(id, "\r\n");
  copySuiteField(p.id, id, idEnd);
  return true;
}

// The bad-result summary: a blank, then each entry followed by ", ".
std::string badSummary(const std::list<std::string>& bad) {
  std::string text = " ";
  for (const std::string& entry : bad) text += entry + ", ";
  return text;
}

}  // namespace

TestSuiteScore ChessBoard::runTestSuite(const std::string& epdFile) {
  // 1-2. The header; the callbacks print their console form and nothing
  //      else while testSuiteMode is set, and no input is read.
  Log::print(1, "Run testsuite : %s", epdFile.c_str());
  testSuiteMode = 1;
  printf("Quarvel version %s\n\n", QUARVEL_VERSION);
  printf("Test suite : %s\n\n", epdFile.c_str());

  TestSuiteScore score;
  std::list<std::string> bad;
  readSuiteLines(epdFile, score, [&](char* line) {
    // 3. One position per line.
    EpdPosition p;
    if (!parseEpdLine(line, p)) return;
    Log::print(DASHES_79);
    Log::print(8, "%s : '%s' : '%s'", p.fen, p.bestMoves, p.id);
    puts(DASHES_79);
    printf("%s bm %s; id %s;\n\n", p.fen, p.bestMoves, p.id);
    currentNode.hashTable.clear();
    if (!setFENPosition(p.fen)) {
      Log::print("ERROR : bad FEN string !");
      puts("ERROR : bad FEN !");
      bad.push_back(p.id);
      return;
    }
    // A position without a legal move (mate or stalemate) has no move to
    // judge: one line says so, and it counts as unsolved.
    if (countLegalMoves() == 0) {
      Log::print("ERROR : no legal move !");
      puts("ERROR : no legal move !");
      bad.push_back(p.id);
      return;
    }
    // The best moves as moves of the position, read before the think plays
    // its move; the position is solved when that move is one of them.
    const std::vector<ChessMove> best = readBestMoves(*this, p.bestMoves);
    // One complete think; a think that plays no move has nothing to judge
    // and counts as bad.
    ponderSearch = 0;
    computerThinking = 1;
    srand((unsigned)time(0));
    const u32 before = gameLength;
    ThreadComputerPlay();
    const GameRecordEntry* last = gameLength > before ? &gameRecord[gameLength - 1] : nullptr;
    const char* played = last ? last->text : nullptr;
    if (last && isBestMove(best, last->move)) {
      Log::print("result => '%s' : ok", played);
      score.good++;
    } else {
      Log::print("result => '%s' : bad", played ? played : "");
      bad.push_back(p.id);
    }
  });

  // 4. The score and the failed positions; an unreadable file has none.
  if (!score.read) {
    printf("ERROR : cannot read %s !\n", epdFile.c_str());
  } else {
    Log::print("Score = %d / %d", score.good, score.total);
    printf("\nScore = %d / %d\n", score.good, score.total);
    puts("\nBad results : \n");
    for (const std::string& entry : bad) {
      Log::print("%s", entry.c_str());
      puts(entry.c_str());
    }
    const std::string summary = badSummary(bad);
    Log::print("Bad result => %s", summary.c_str());
    printf("Bad result => %s\n", summary.c_str());
  }
  // 5. Back to the protocol's output.
  testSuiteMode = 0;
  return score;
}

TestSuiteScore ChessBoard::runEvalTestSuite(const std::string& epdFile) {
  Log::print(1, "Run eval testsuite : %s", epdFile.c_str());
  TestSuiteScore score;
  std::list<std::string> bad;
  readSuiteLines(epdFile, score, [&](char* line) {
    EpdPosition p;
    if (!parseEpdLine(line, p)) return;
    Log::print(DASHES_54);
    Log::print(8, "%s : '%s' : '%s'", p.fen, p.bestMoves, p.id);
    currentNode.hashTable.clear();
    if (!setFENPosition(p.fen)) {
      Log::print("ERROR : bad FEN string !");
      bad.push_back(p.id);
      return;
    }
    // Both scores from the side to move: equal for a symmetric evaluation.
    // A mirror that cannot be set up is a failure too.
    char mirrored[SUITE_FIELD_SIZE];  // as long as the FEN
    reverseFENPosition(p.fen, mirrored);
    const int original = currentNode.evaluate(-32000, 32000, 0);
    const bool symmetric =
        setFENPosition(mirrored) && currentNode.evaluate(-32000, 32000, 0) == original;
    Log::print(symmetric ? "ok" : "bad");
    if (symmetric)
      score.good++;
    else
      bad.push_back(p.fen);
  });
  Log::print("Score = %d / %d", score.good, score.total);
  for (const std::string& entry : bad) Log::print("%s", entry.c_str());
  Log::print("Bad result => %s", badSummary(bad).c_str());
  return score;
}
