// Reader of the configuration file.
//
// Format: a line starting with "[" names a section (the characters between
// the first and the last one); a line "key=value" sets a key of the current
// section, with nothing trimmed. Every line ends at its first byte below 32
// taken as a signed char, so control characters, carriage returns and bytes
// of 0x80 and above all end it. Lines are read 255 characters at a time.
#include "protocol/config.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const int CONFIG_LINE = 256;

// Cuts a line at its first byte below 32 as a signed char.
void cutLine(char* line) {
  for (char* p = line; *p; p++) {
    if ((signed char)*p < 32) {
      *p = 0;
      return;
    }
  }
}

}  // namespace

int ReadFileConfigString(const char* file, const char* section, const char* key, char* out) {
  FILE* f = fopen(file, "rt");
  if (!f) return 0;
  char line[CONFIG_LINE];
  // Once the wanted section has begun, a header of another section does not
  // end it: the keys after it are searched as well.
  bool inSection = false;
  while (fgets(line, sizeof(line), f)) {
    cutLine(line);
    size_t len = strlen(line);
    if (len == 0) continue;
    if (line[0] == '[') {
      // A lone "[" has no name and selects nothing.
      if (len >= 2) {
        size_t nameLen = len - 2;
        if (strlen(section) == nameLen && strncmp(line + 1, section, nameLen) == 0)
          inSection = true;
      }
      continue;
    }
    if (!inSection) continue;
    char* eq = strchr(line, '=');
    if (!eq) continue;
    *eq = 0;
    if (strcmp(line, key) == 0) {
      strcpy(out, eq + 1);
      fclose(f);
      return 1;
    }
  }
  fclose(f);
  return 0;
}

int ReadFileConfigInt(const char* file, const char* section, const char* key, int* out) {
  char value[CONFIG_LINE];
  if (!ReadFileConfigString(file, section, key, value)) return 0;
  long v = strtol(value, nullptr, 10);
  if (v > INT_MAX) v = INT_MAX;
  if (v < INT_MIN) v = INT_MIN;
  *out = (int)v;
  return 1;
}
