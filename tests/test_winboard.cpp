// The WinBoard handler's readers: what counts as a user move, the moves to
// go of a time control, the clocks and the "level" command.
#include <gtest/gtest.h>

#include <climits>

#include "protocol/winboard.h"

namespace {

TEST(WinboardReaders, OnlyFourOrFiveCharactersStartingWithTwoSquaresAreMoves) {
  for (const char* move : {"e2e4", "a1h8", "e7e8q", "e7e8n", "h2h1x", "a8a8"})
    EXPECT_TRUE(isWinboardMoveText(move)) << move;
  for (const char* other : {"", "e2e", "e2e4q5", "i2e4", "e9e4", "e2e0", "E2E4",
                            "go", "ping", "time", "result", "e2-e4", "e2e4e7e5",
                            "a2a4a6a8"})
    EXPECT_FALSE(isWinboardMoveText(other)) << other;
}

TEST(WinboardReaders, MovesToGoCountDownThroughEachControlAndRestart) {
  // 40 moves per control: the first move of each control has 40 to go, the
  // last one 1, and the count starts again after it.
  EXPECT_EQ(winboardMovesToGo(40, 0), 40);
  EXPECT_EQ(winboardMovesToGo(40, 1), 39);
  EXPECT_EQ(winboardMovesToGo(40, 39), 1);
  EXPECT_EQ(winboardMovesToGo(40, 40), 40);
  EXPECT_EQ(winboardMovesToGo(40, 85), 35);
  EXPECT_EQ(winboardMovesToGo(1, 17), 1);
  // A whole game in one control (incremental clocks) has no count.
  EXPECT_EQ(winboardMovesToGo(0, 0), 0);
  EXPECT_EQ(winboardMovesToGo(0, 123), 0);
  EXPECT_EQ(winboardMovesToGo(-5, 3), 0);
  for (unsigned made = 0; made < 500; made++) {
    int left = winboardMovesToGo(7, made);
    EXPECT_GE(left, 1);
    EXPECT_LE(left, 7);
  }
}

TEST(WinboardReaders, ClocksAreCentisecondsWithoutNegativesOrOverflow) {
  EXPECT_EQ(winboardClockMs(100), 1000);
  EXPECT_EQ(winboardClockMs(0), 0);
  EXPECT_EQ(winboardClockMs(-250), 0);
  // Beyond the 32-bit range the value is still right (the 32-bit build
  // reads it in 64 bits too).
  EXPECT_EQ(winboardClockMs(3000000000LL), 30000000000LL);
  EXPECT_GT(winboardClockMs(LLONG_MAX), 0);
}

TEST(WinboardReaders, LevelReadsMovesBaseAndIncrement) {
  WinboardLevel level;
  ASSERT_TRUE(readWinboardLevel("40 5 0", level));
  EXPECT_EQ(level.movesPerControl, 40);
  EXPECT_EQ(level.baseMs, 300000);
  EXPECT_EQ(level.incrementMs, 0);

  ASSERT_TRUE(readWinboardLevel("40 2:30 0", level));
  EXPECT_EQ(level.baseMs, 150000);
  EXPECT_EQ(level.minutes, 2);
  EXPECT_EQ(level.seconds, 30);

  ASSERT_TRUE(readWinboardLevel("0 2 12", level));
  EXPECT_EQ(level.movesPerControl, 0);
  EXPECT_EQ(level.baseMs, 120000);
  EXPECT_EQ(level.incrementMs, 12000);

  // Text after the base's numbers is ignored; a missing increment is 0.
  ASSERT_TRUE(readWinboardLevel("40 25+5 0", level));
  EXPECT_EQ(level.baseMs, 1500000);
  ASSERT_TRUE(readWinboardLevel("40 0:30", level));
  EXPECT_EQ(level.baseMs, 30000);
  EXPECT_EQ(level.incrementMs, 0);
}

TEST(WinboardReaders, LevelHoldsBadFieldsInRange) {
  WinboardLevel level;
  EXPECT_FALSE(readWinboardLevel("", level));
  EXPECT_FALSE(readWinboardLevel("40", level));
  EXPECT_FALSE(readWinboardLevel("x y z", level));

  ASSERT_TRUE(readWinboardLevel("-3 -5:-20 -7", level));
  EXPECT_EQ(level.movesPerControl, 0);
  EXPECT_EQ(level.baseMs, 0);
  EXPECT_EQ(level.incrementMs, 0);

  ASSERT_TRUE(readWinboardLevel("99999999999 99999999999:99999999999 99999999999", level));
  EXPECT_EQ(level.movesPerControl, INT_MAX);
  EXPECT_GT(level.baseMs, 0);
  EXPECT_GT(level.incrementMs, 0);

  // A base field far longer than its buffer is read in bounds.
  std::string longBase = "40 " + std::string(5000, '7') + " 3";
  ASSERT_TRUE(readWinboardLevel(longBase.c_str(), level));
  EXPECT_EQ(level.movesPerControl, 40);
  EXPECT_GT(level.baseMs, 0);
}

}  // namespace
