// Reading the text of a command line.
#include "protocol/commandtext.h"

#include <climits>
#include <cstdlib>
#include <cstring>

bool startsWith(const char* text, const char* prefix) {
  return strncmp(text, prefix, strlen(prefix)) == 0;
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
