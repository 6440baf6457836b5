// The text of command lines and of protocol output: keywords, the numbers
// after a blank held to their range, and the coordinate text of a line up
// to the room of its buffer.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "protocol/chessboarduci.h"
#include "protocol/commandtext.h"

TEST(CommandText, KeywordsAndNumbersAfterABlank) {
  EXPECT_TRUE(startsWith("go depth 5", "go "));
  EXPECT_TRUE(startsWith("perft", "perft"));
  EXPECT_FALSE(startsWith("g", "go"));
  EXPECT_FALSE(startsWith("Go ", "go "));
  // One blank between tokens, except inside an option's value (a file name).
  char option[] = " setoption\tname Book  File value  /my  book.bin \r";
  normalizeCommandLine(option);
  EXPECT_STREQ(option, "setoption name Book File value /my  book.bin");

  const struct {
    const char* line;
    long long number;  // numberAfterBlank
    int held;          // intAfterBlank
  } cases[] = {
      {"ping 12", 12, 12},
      {"ping", 0, 0},
      {"sd -5", -5, -5},
      {"st abc", 0, 0},
      {"time 99999999999", 99999999999LL, INT_MAX},
      {"otim -99999999999", -99999999999LL, INT_MIN},
      {"time 99999999999999999999", LLONG_MAX, INT_MAX},
      {"level 40 5 0", 40, 40},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(numberAfterBlank(c.line), c.number) << c.line;
    EXPECT_EQ(intAfterBlank(c.line), c.held) << c.line;
  }
  EXPECT_EQ(readInt("9999999999"), INT_MAX);
  EXPECT_EQ(readInt("-9999999999"), INT_MIN);
  EXPECT_EQ(readInt("x"), 0);
  EXPECT_EQ(clampNumber(-3, 0, 10), 0);
  EXPECT_EQ(clampNumber(30, 0, 10), 10);
}

TEST(CommandText, LineTextFillsItsRoomExactly) {
  PLine line{};
  line.moves[0].move = ChessMove::make(12, 28, PAWN);            // e2e4
  line.moves[1].move = ChessMove::make(52, 60, PAWN, 0, QUEEN);  // e7e8q
  line.moves[2].move = 0;                                        // none: "0000"
  line.count = 3;
  char text[LINE_TEXT_SIZE];
  coordinateLineText(line, 3, text);
  EXPECT_STREQ(text, "e2e4 e7e8q 0000 ");
  coordinateLineText(line, 0, text);
  EXPECT_STREQ(text, "");

  // A whole line of promotions takes every byte; a longer length is cut at
  // the deepest ply.
  for (auto& entry : line.moves) entry.move = ChessMove::make(48, 56, PAWN, 0, QUEEN);
  line.count = MAX_PLY;
  coordinateLineText(line, MAX_PLY + 10, text);
  EXPECT_EQ(strlen(text) + 1, LINE_TEXT_SIZE);
  EXPECT_EQ(std::string(text, 6), "a7a8q ");
}
