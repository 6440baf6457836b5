// The WinBoard handler's readers: what counts as a user move, the moves to
// go of a time control, the clocks and the "level" command.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "protocol/winboard.h"

namespace {

TEST(WinboardReaders, MoveTextsClocksAndMovesToGo) {
  // Four or five characters whose first four are two squares.
  for (const char* move : {"e2e4", "a1h8", "e7e8q", "h2h1x"})
    EXPECT_TRUE(isWinboardMoveText(move)) << move;
  for (const char* other : {"", "e2e", "e2e4q5", "i2e4", "e9e4", "E2E4", "ping", "e2-e4"})
    EXPECT_FALSE(isWinboardMoveText(other)) << other;
  // Centiseconds, never negative, beyond 32 bits.
  EXPECT_EQ(winboardClockMs(100), 1000);
  EXPECT_EQ(winboardClockMs(-250), 0);
  EXPECT_EQ(winboardClockMs(3000000000LL), 30000000000LL);
  EXPECT_GT(winboardClockMs(LLONG_MAX), 0);
  // 40 moves per control: 40 to go at the first move of each control, 1 at
  // the last; a whole game in one control has no count.
  EXPECT_EQ(winboardMovesToGo(40, 0), 40);
  EXPECT_EQ(winboardMovesToGo(40, 39), 1);
  EXPECT_EQ(winboardMovesToGo(40, 85), 35);
  EXPECT_EQ(winboardMovesToGo(1, 17), 1);
  EXPECT_EQ(winboardMovesToGo(0, 123), 0);
  EXPECT_EQ(winboardMovesToGo(-5, 3), 0);
}

TEST(WinboardReaders, LevelReadsMovesBaseAndIncrementInRange) {
  WinboardLevel level;
  ASSERT_TRUE(readWinboardLevel("40 5 0", level));
  EXPECT_EQ(level.movesPerControl, 40);
  EXPECT_EQ(level.baseMs, 300000);
  EXPECT_EQ(level.incrementMs, 0);
  ASSERT_TRUE(readWinboardLevel("0 2:30 12", level));
  EXPECT_EQ(level.movesPerControl, 0);
  EXPECT_EQ(level.baseMs, 150000);
  EXPECT_EQ(level.incrementMs, 12000);
  ASSERT_TRUE(readWinboardLevel("40 25+5", level));  // text after the base ignored
  EXPECT_EQ(level.baseMs, 1500000);
  EXPECT_EQ(level.incrementMs, 0);
  EXPECT_FALSE(readWinboardLevel("40", level));
  EXPECT_FALSE(readWinboardLevel("x y z", level));
  ASSERT_TRUE(readWinboardLevel("-3 -5:-20 -7", level));
  EXPECT_EQ(level.movesPerControl + level.baseMs + level.incrementMs, 0);
  ASSERT_TRUE(readWinboardLevel("99999999999 99999999999:99999999999 99999999999", level));
  EXPECT_EQ(level.movesPerControl, INT_MAX);
  EXPECT_GT(level.baseMs, 0);
  EXPECT_GT(level.incrementMs, 0);
  // A base field far longer than its buffer is read in bounds.
  ASSERT_TRUE(readWinboardLevel(("40 " + std::string(5000, '7') + " 3").c_str(), level));
  EXPECT_GT(level.baseMs, 0);
}

}  // namespace
