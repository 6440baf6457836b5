// The reading loop of the test-suite drivers.
#pragma once

#include <cstdio>
#include <string>

#include "engine/log.h"
#include "records/testsuite.h"

// Room of one suite line as read, terminator included: a longer line
// arrives in pieces, each handled as a line of its own.
const size_t SUITE_LINE_SIZE = 256;

// Hands every line of the file to handle and counts it in score.total,
// whether or not it holds a position. score.read tells whether the file
// was opened and read to its end (a folder opens but cannot be read).
template <class Handler>
void readSuiteLines(const std::string& fileName, TestSuiteScore& score, Handler handle) {
  FILE* file = fopen(fileName.c_str(), "rt");
  if (!file) return;
  char line[SUITE_LINE_SIZE];
  while (fgets(line, sizeof line, file)) {
    handle(line);
    score.total++;
    Log::print(" ");
  }
  score.read = !ferror(file);
  fclose(file);
}
