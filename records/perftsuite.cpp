// The perft suite: each line holds a FEN and the published node counts by
// depth (";D1 20 ;D2 400 ..."); a position is Ok when perft gives every one.
#include <cstdio>
#include <cstring>

#include "engine/chessboard.h"
#include "engine/perft.h"
#include "records/suitelines.h"

namespace {

// Most depth fields a line may hold.
const int MAX_SUITE_DEPTH = 16;

const char* const DASHES_54 = "------------------------------------------------------";

}  // namespace

TestSuiteScore ChessBoard::runPerftSuite(const std::string& perftFile) {
  Log::print(1, "Run perft testsuite : %s", perftFile.c_str());
  TestSuiteScore score;
  readSuiteLines(perftFile, score, [&](char* line) {
    // 1. The whole line without its line end (LF, CRLF or none), split at
    //    every ";": the FEN (with its trailing blank), then one field per
    //    depth, each but the last losing the blank before its ";", and each
    //    field cut to its room.
    Log::print("%s", line);
    line[strcspn(line, "\r\n")] = '\0';
    char* fields[MAX_SUITE_DEPTH + 1];
    int depth = 0;
    fields[0] = line;
    for (char* p = strchr(line, ';'); p; p = strchr(p + 1, ';')) {
      *p = '\0';
      if (p > fields[depth] && depth > 0) p[-1] = '\0';
      if (++depth > MAX_SUITE_DEPTH) break;
      fields[depth] = p + 1;
    }
    for (int k = 0; k <= depth && k <= MAX_SUITE_DEPTH; k++)
      if (strlen(fields[k]) >= SUITE_FIELD_SIZE) fields[k][SUITE_FIELD_SIZE - 1] = '\0';
    Log::print(DASHES_54);
    Log::print(8, "%s", fields[0]);

    // 2. A line without depth fields or with too many, or a FEN that is
    //    refused, is Bad without a count.
    currentNode.hashTable.clear();
    bool ok = depth >= 1 && depth <= MAX_SUITE_DEPTH;
    if (ok && !setFENPosition(fields[0])) {
      Log::print("ERROR : bad FEN string !");
      ok = false;
    }
    // 3. Every depth counted and compared as "D%d %llu" prints it.
    if (ok) {
      doPerft(depth);
      for (int k = 1; k <= depth; k++) {
        char expected[64];
        snprintf(expected, sizeof expected, "D%d %llu", k,
                 (unsigned long long)perftNode[depth + 1 - k][PERFT_NODES]);
        Log::print("depth %d = '%s' / '%s'", k, fields[k], expected);
        if (strcmp(fields[k], expected) != 0) ok = false;
      }
    }
    Log::print(ok ? "Ok" : "Bad");
    if (ok) score.good++;
  });
  Log::print("Score = %d / %d", score.good, score.total);
  return score;
}
