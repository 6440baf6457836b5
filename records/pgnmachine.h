// The character state machine shared by the two PGN scanners, the game
// library's reader and the opening-book builder's scan. It follows tags,
// comments, variations and the move numbers, NAGs and results of move
// text, and hands what it finds to the scanner:
//   void tagValue(const char* name, const char* value);
//   void moveRead(const char* text);   // the sub-state is already the next
//   void nagRead(const char* text);
//   void gameEnded();                  // before the machine's own reset
//   void feed(char c);                 // the scanner's entry for a character
//
// The game library's reader reads move text in its own lenient way. The
// opening-book builder's scan reads it as the PGN standard writes it
// (Standard): a brace comment ends at its first "}", a NAG leaves whose move
// comes next as it was, and a tag pair lies on one line, its name ended by
// a blank, a tab or the opening quote, its value running to the closing
// quote with \" and \\ escapes.
#pragma once

#include <cstdio>

#include "records/gamelibrary.h"
#include "records/pgntext.h"

namespace pgn {

enum State { BETWEEN_GAMES, TAG, VARIATION, COMMENT, MOVE_TEXT, SKIP };

// Sub-states of move text, held in the same flag as the tag's in-quotes flag.
enum { WAIT_NUMBER = 0, WHITE_MOVE = 1, BLACK_MOVE = 2, READ_NAG = 3 };
// The flag inside a variation of Standard text: in a brace comment there.
enum { IN_VARIATION_COMMENT = 1 };

template <class Scanner, size_t TokenSize, bool Standard = false>
class Machine {
protected:
  State state = BETWEEN_GAMES;
  int flag = 0;
  bool blackNext = false;            // the next move number leads to Black's move
  int depth = 0;                     // nesting of the comment or variation
  State savedState = BETWEEN_GAMES;  // where the comment or variation began
  int savedFlag = 0;
  int flagBeforeNag = 0;  // Standard: the sub-state a NAG returns to
  Token<TokenSize> token;
  char tagName[PGN_TAG_TEXT_MAX + 1] = "";

  // One character in any state but SKIP, which is the scanner's own.
  void step(char c) {
    switch (state) {
      case BETWEEN_GAMES: betweenGames(c); break;
      case TAG:
        if (Standard)
          standardTag(c);
        else
          tag(c);
        break;
      case VARIATION: skipped(c, '(', ')'); break;
      case COMMENT: skipped(c, '{', '}'); break;
      case MOVE_TEXT: moveText(c); break;
      case SKIP: break;
    }
  }

  void startTag() {
    state = TAG;
    flag = 0;
    token.clear();  // a tag name starts with the tag
    if (Standard) tagName[0] = '\0';
  }

  // In a brace comment, where no bracket but "}" means anything.
  bool inBraceComment() const {
    return state == COMMENT || (Standard && state == VARIATION && flag == IN_VARIATION_COMMENT);
  }

  void endGame() {
    self().gameEnded();
    restart();
  }

  // Between games, as at the start of a file: whatever was open is dropped.
  void restart() {
    token.clear();
    flag = WAIT_NUMBER;
    state = BETWEEN_GAMES;
    blackNext = false;
    depth = 0;
  }

  // The token is complete: a NAG, a result or a move, by sub-state.
  void endToken() {
    if (flag == READ_NAG) {
      self().nagRead(token.text);
      flag = Standard ? flagBeforeNag : WAIT_NUMBER;
    } else if (isResult(token.text)) {
      endGame();
    } else if ((flag == WHITE_MOVE || flag == BLACK_MOVE) && !token.empty()) {
      if (flag == WHITE_MOVE) {
        flag = BLACK_MOVE;
      } else {
        flag = WAIT_NUMBER;
        blackNext = false;
      }
      char text[PGN_MOVE_TEXT_MAX + 1];
      copyBounded(text, token.text, PGN_MOVE_TEXT_MAX);
      self().moveRead(text);
    }
    token.clear();
  }

private:
  Scanner& self() { return static_cast<Scanner&>(*this); }

  void open(State inner) {
    depth++;
    savedState = state;
    savedFlag = flag;
    flag = 0;
    state = inner;
  }

  // Between games "[" opens a tag, a digit or "*" move text.
  void betweenGames(char c) {
    if (c == '[')
      startTag();
    else if (c == '{')
      open(COMMENT);
    else if (c == '(')
      open(VARIATION);
    else if (opensMoveText(c)) {
      token.add(c);
      state = MOVE_TEXT;
    }
  }

  void tag(char c) {
    if (c == '"' && flag == 0) {
      token.clear();
      flag = 1;
    } else if (c == '"') {
      char value[PGN_TAG_TEXT_MAX + 1];
      copyBounded(value, token.text, PGN_TAG_TEXT_MAX);
      self().tagValue(tagName, value);
      token.clear();
      flag = 0;
    } else if (c == ']') {
      state = BETWEEN_GAMES;
    } else if (c == ' ' && flag == 0) {
      copyBounded(tagName, token.text, PGN_TAG_TEXT_MAX);
      token.clear();
    } else {
      token.add(c);
    }
  }

  // A tag pair as the standard writes it; flag 0 outside the quotes, 1
  // inside, 2 after a backslash there. A line end leaves the tag: a value
  // never closed is dropped, and the line after it is read afresh.
  void standardTag(char c) {
    if (c == '\n' || c == '\r') {
      state = BETWEEN_GAMES;
      flag = 0;
    } else if (flag == 2) {
      token.add(c);
      flag = 1;
    } else if (flag == 1 && c == '\\') {
      flag = 2;
    } else if (flag == 1 && c == '"') {
      char value[PGN_TAG_TEXT_MAX + 1];
      copyBounded(value, token.text, PGN_TAG_TEXT_MAX);
      self().tagValue(tagName, value);
      token.clear();
      flag = 0;
    } else if (flag == 1) {
      token.add(c);
    } else if (c == ']') {
      state = BETWEEN_GAMES;
    } else if (c == ' ' || c == '\t' || c == '"') {
      if (!token.empty()) copyBounded(tagName, token.text, PGN_TAG_TEXT_MAX);
      token.clear();
      if (c == '"') flag = 1;
    } else {
      token.add(c);
    }
  }

  // Inside a comment or a variation only its own kind of bracket counts;
  // in Standard text comments do not nest, and a brace comment inside a
  // variation hides its brackets from it.
  void skipped(char c, char opening, char closing) {
    if (Standard && opening == '(') {
      if (flag == IN_VARIATION_COMMENT) {
        if (c == '}') flag = 0;
        return;
      }
      if (c == '{') {
        flag = IN_VARIATION_COMMENT;
        return;
      }
    }
    const bool nests = opening == '(' || !Standard;
    if (c == opening && nests) {
      depth++;
    } else if (c == closing && --depth == 0) {
      token.clear();
      state = savedState;
      flag = savedFlag;
    }
  }

  void moveText(char c) {
    if (c == '$' && Standard) {
      // A move written straight before the NAG ends with it; the NAG then
      // returns to the sub-state the move left.
      endToken();
      if (state != MOVE_TEXT) return;
      flagBeforeNag = flag;
      flag = READ_NAG;
    } else if (c == '$') {
      if (flag == BLACK_MOVE) blackNext = true;
      flag = READ_NAG;
    } else if (endsToken(c) || (Standard && c == '\t')) {
      endToken();
    } else if (c == '.') {
      if (flag == WAIT_NUMBER) flag = blackNext ? BLACK_MOVE : WHITE_MOVE;
      token.clear();
    } else if (c == '{' || c == '(') {
      // The bracket ends a move written straight before it. After a result
      // the bracket belongs between games; after a move that ended the
      // scanner's interest, to its skip.
      endToken();
      if (state != MOVE_TEXT) {
        self().feed(c);
        return;
      }
      open(c == '{' ? COMMENT : VARIATION);
    } else {
      token.add(c);
    }
  }
};

// Feeds every byte of an open file to the scanner, then a line end, so that
// the end of the file ends the last token; closes the file. False when a
// read failed (a folder opens but cannot be read): the reading stops there.
template <class Scanner>
bool feedFile(FILE* file, Scanner& scanner) {
  char chunk[65536];
  size_t got;
  while ((got = fread(chunk, 1, sizeof chunk, file)) > 0)
    for (size_t i = 0; i < got; i++) scanner.feed(chunk[i]);
  scanner.feed('\n');
  const bool readOk = !ferror(file);
  fclose(file);
  return readOk;
}

}  // namespace pgn
