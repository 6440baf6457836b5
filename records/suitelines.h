// The reading loop of the test-suite drivers.
#pragma once

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "engine/log.h"
#include "records/testsuite.h"

// Room of one field of a suite line (a FEN, a best-move field, an
// identifier, a depth field), terminator included: a longer field is cut
// to its first SUITE_FIELD_SIZE - 1 characters.
const size_t SUITE_FIELD_SIZE = 256;

// Copies [begin, end) into out, a buffer of SUITE_FIELD_SIZE characters,
// cut to its room.
inline void copySuiteField(char* out, const char* begin, const char* end) {
  size_t length = (size_t)(end - begin);
  if (length > SUITE_FIELD_SIZE - 1) length = SUITE_FIELD_SIZE - 1;
  memcpy(out, begin, length);
  out[length] = '\0';
}

// Reads the next line of file whole, whatever its length, into line, with
// its newline as the file has it (none on a last line without one). False
// at the end of the file. A line too long for the memory there is leaves
// line empty and tooLong set; it is still read to its end, so the next
// call reads the next line.
inline bool readWholeLine(FILE* file, std::string& line, bool& tooLong) {
  line.clear();
  tooLong = false;
  int c = getc(file);
  if (c == EOF) return false;
  for (; c != EOF; c = getc(file)) {
    if (!tooLong) {
      try {
        line.push_back((char)c);
      } catch (const std::exception&) {  // out of memory, or beyond max_size
        tooLong = true;
        std::string().swap(line);
      }
    }
    if (c == '\n') break;
  }
  return true;
}

// The UTF-8 byte-order mark that some editors write at the start of a text
// file.
const char* const UTF8_BOM = "\xEF\xBB\xBF";

// Hands every line of the file, whole, to handle (as a writable text that
// ends at the line's first zero byte, its newline kept) and counts it in
// score.total, whether or not it holds a position: the total is the number
// of lines of the file. A byte-order mark at the start of the file is not
// part of the first line. A line that does not fit in memory is counted
// without being handled. score.read tells whether the file was opened and
// read to its end (a folder opens but cannot be read).
template <class Handler>
void readSuiteLines(const std::string& fileName, TestSuiteScore& score, Handler handle) {
  FILE* file = fopen(fileName.c_str(), "rt");
  if (!file) return;
  std::string line;
  bool tooLong = false;
  while (readWholeLine(file, line, tooLong)) {
    const bool bom = score.total == 0 && line.compare(0, strlen(UTF8_BOM), UTF8_BOM) == 0;
    if (tooLong)
      Log::print(17, "ERROR : line %d does not fit in memory !", score.total + 1);
    else
      handle(&line[bom ? strlen(UTF8_BOM) : 0]);
    score.total++;
    Log::print(" ");
  }
  score.read = !ferror(file);
  fclose(file);
}
