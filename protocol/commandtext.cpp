// Reading the text of a command line.
#include "protocol/commandtext.h"

#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

bool isBlankOrTab(char c) { return c == ' ' || c == '\t'; }

}  // namespace

void normalizeCommandLine(char* line) {
  // 1. The end of the line, so that every run of blanks left below stands
  //    between two tokens.
  size_t length = strlen(line);
  while (length > 0 && (isBlankOrTab(line[length - 1]) || line[length - 1] == '\r')) length--;
  line[length] = '\0';

  // 2. The tokens, one blank apart, from the first one on; an option's value
  //    is copied as it stands once its "value" token has been written.
  const char* in = line;
  while (isBlankOrTab(*in)) in++;
  char* out = line;
  while (*in) {
    if (!isBlankOrTab(*in)) {
      *out++ = *in++;
      continue;
    }
    while (isBlankOrTab(*in)) in++;
    *out++ = ' ';
    if (out - line >= 7 && strncmp(out - 7, " value ", 7) == 0 && startsWith(line, "setoption ")) {
      memmove(out, in, strlen(in) + 1);
      return;
    }
  }
  *out = '\0';
}

bool startsWith(const char* text, const char* prefix) {
  return strncmp(text, prefix, strlen(prefix)) == 0;
}

bool startsWithWord(const char* text, const char* word) {
  size_t length = strlen(word);
  return strncmp(text, word, length) == 0 && (text[length] == ' ' || text[length] == '\0');
}

long long readNumber(const char* text) { return strtoll(text, nullptr, 10); }

int readInt(const char* text) { return readIntWithin(text, INT_MIN, INT_MAX); }

int readIntWithin(const char* text, int low, int high) {
  return static_cast<int>(clampNumber(readNumber(text), low, high));
}

long long clampNumber(long long value, long long low, long long high) {
  return value < low ? low : value > high ? high : value;
}

long long numberAfterBlank(const char* line) {
  const char* blank = strchr(line, ' ');
  return blank ? readNumber(blank + 1) : 0;
}

int intAfterBlank(const char* line) {
  return static_cast<int>(clampNumber(numberAfterBlank(line), INT_MIN, INT_MAX));
}
