// Pieces shared by the two PGN scanners (the game library's reader and the
// opening-book builder's scan): the bounded token and the texts they test.
#pragma once

#include <cstddef>
#include <cstring>

namespace pgn {

// Characters collected since the token was last cleared, cut at Size - 1:
// the characters beyond are dropped.
template <size_t Size>
struct Token {
  char text[Size];
  size_t length = 0;

  Token() { text[0] = '\0'; }
  void add(char c) {
    if (length + 1 < Size) text[length++] = c;
    text[length] = '\0';
  }
  void clear() {
    length = 0;
    text[0] = '\0';
  }
  bool empty() const { return length == 0; }
};

// Copies at most max characters of text into out (max + 1 bytes).
inline void copyBounded(char* out, const char* text, size_t max) {
  size_t n = strnlen(text, max);
  memcpy(out, text, n);
  out[n] = '\0';
}

// One of "1-0", "0-1", "1/2-1/2" and "*", compared whole.
inline bool isResult(const char* text) {
  return strcmp(text, "1-0") == 0 || strcmp(text, "0-1") == 0 || strcmp(text, "1/2-1/2") == 0 ||
         strcmp(text, "*") == 0;
}

// Characters that open move text between games: a move number or a result.
inline bool opensMoveText(char c) { return (c >= '0' && c <= '9') || c == '*'; }

// A blank, carriage return, line feed or NUL byte ends a move-text token: a
// NUL collected into the token would end its text there.
inline bool endsToken(char c) { return c == ' ' || c == '\r' || c == '\n' || c == '\0'; }

}  // namespace pgn
