// Time budget of every search mode, the aspiration window with its
// re-search rule, and the clock-mode stop rules.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "engine/chessboard.h"
#include "engine/timecontrol.h"

namespace {

ThinkSettings settingsFor(int mode) {
  ThinkSettings s;
  s.searchMode = mode;
  s.depthLimit = 8;
  s.maxDepth = 64;
  s.moveTime = 5000000;
  s.timeLimit = 7500;
  s.remainingMs = 300000.0f;
  s.incrementMs = 0;
  s.movesToGo = 40;
  return s;
}

}  // namespace

TEST(ClockBudget, PublishedFigures) {
  EXPECT_EQ(clockBudget(300000.0f, 0, 40), 7500000u);
  EXPECT_EQ(clockBudget(300000.0f, 0, 1), 150000000u);
  EXPECT_EQ(clockBudget(300000.0f, 1000, 0), 8500000u);
  EXPECT_EQ(clockBudget(300000.0f, 0, 0), 7500000u);
  EXPECT_EQ(clockBudget(300000.0f, -500, 0), 7500000u);
  // The increment is added only without a move count.
  EXPECT_EQ(clockBudget(300000.0f, 1000, 40), 7500000u);
}

TEST(ClockBudget, NeverMoreThanHalfTheClock) {
  // The increment is credited only after the move.
  EXPECT_EQ(clockBudget(500.0f, 1000, 0), 250000u);
  EXPECT_EQ(clockBudget(1000.0f, 10, 0), 35000u);
  for (int moves = 0; moves <= 3; moves++)
    for (float clock : {1.0f, 10.0f, 999.0f, 60000.0f})
      for (int inc : {0, 10, 5000, 2000000000})
        EXPECT_LE(clockBudget(clock, inc, moves), static_cast<u32>(clock * 1000.0f / 2.0f))
            << clock << " ms, inc " << inc << ", moves " << moves;
}

TEST(ClockBudget, UsedUpClockGetsTheSmallestBudget) {
  EXPECT_EQ(clockBudget(0.0f, 0, 0), MIN_CLOCK_BUDGET);
  EXPECT_EQ(clockBudget(-2500.0f, 1000, 0), MIN_CLOCK_BUDGET);
  EXPECT_EQ(clockBudget(-1.0f, 0, 1), MIN_CLOCK_BUDGET);
  EXPECT_EQ(clockBudget(std::nanf(""), 0, 40), MIN_CLOCK_BUDGET);
  EXPECT_LT(MIN_CLOCK_BUDGET, 10000u);
}

TEST(ClockBudget, NegativeMovesToGoCountsAsNone) {
  EXPECT_EQ(clockBudget(300000.0f, 1000, -3), clockBudget(300000.0f, 1000, 0));
  EXPECT_EQ(clockBudget(300000.0f, 0, INT32_MIN), 7500000u);
}

TEST(ClockBudget, SaturatesInsteadOfWrapping) {
  // A clock of eleven days spread over 40 moves is still more than the
  // 32-bit microsecond range.
  EXPECT_EQ(clockBudget(1e9f, 0, 40), TIME_LIMIT_NONE);
  EXPECT_EQ(clockBudget(1e9f, INT32_MAX, 0), TIME_LIMIT_NONE);
  EXPECT_EQ(clockBudget(3.0e38f, 0, 0), TIME_LIMIT_NONE);
  EXPECT_EQ(clockBudget(std::numeric_limits<float>::infinity(), 0, 2), TIME_LIMIT_NONE);
  // Just inside the range.
  EXPECT_EQ(clockBudget(8000000.0f, 0, 2), 4000000000u);
}

TEST(MoveTimeLimit, KeepsATenthAtMost25ms) {
  EXPECT_EQ(moveTimeLimit(5000000), 4975000u);
  EXPECT_EQ(moveTimeLimit(250000), 225000u);
  EXPECT_EQ(moveTimeLimit(100000), 90000u);
  EXPECT_EQ(moveTimeLimit(10), 9u);
  EXPECT_EQ(moveTimeLimit(0), 0u);
  EXPECT_EQ(moveTimeLimit(4294967295u), 4294942295u);
}

TEST(ThinkBudget, EveryMode) {
  ThinkBudget b = thinkBudget(settingsFor(MODE_DEPTH));
  EXPECT_FALSE(b.timed);
  EXPECT_EQ(b.depthBound, 8);
  EXPECT_EQ(b.timeLimit, 7500u);   // the clock plays no part

  b = thinkBudget(settingsFor(MODE_NODES));
  EXPECT_TRUE(b.timed);
  EXPECT_EQ(b.depthBound, 64);
  EXPECT_EQ(b.timeLimit, 7500u);

  b = thinkBudget(settingsFor(MODE_MOVETIME));
  EXPECT_EQ(b.depthBound, 64);
  EXPECT_EQ(b.timeLimit, 4975000u);

  b = thinkBudget(settingsFor(MODE_CLOCK));
  EXPECT_EQ(b.depthBound, 64);
  EXPECT_EQ(b.timeLimit, 7500000u);
  EXPECT_FALSE(b.finishFirstIteration);
  ThinkSettings overrun = settingsFor(MODE_CLOCK);
  overrun.remainingMs = -20.0f;
  b = thinkBudget(overrun);
  EXPECT_EQ(b.timeLimit, MIN_CLOCK_BUDGET);
  EXPECT_TRUE(b.finishFirstIteration);
  overrun.remainingMs = 0.5f;
  EXPECT_FALSE(thinkBudget(overrun).finishFirstIteration);

  b = thinkBudget(settingsFor(MODE_INFINITE));
  EXPECT_EQ(b.depthBound, 64);
  EXPECT_EQ(b.timeLimit, TIME_LIMIT_NONE);

  for (int mode : {2, 4, 6, 8, -1}) {
    b = thinkBudget(settingsFor(mode));
    EXPECT_EQ(b.timeLimit, 7500u) << mode;
    EXPECT_EQ(b.depthBound, 64) << mode;
  }
}

TEST(ThinkBudget, DepthsAbove64AreClamped) {
  ThinkSettings s = settingsFor(MODE_DEPTH);
  s.depthLimit = 1000;
  EXPECT_EQ(thinkBudget(s).depthBound, 64);
  s.depthLimit = 0;   // iteration 1 is still searched
  EXPECT_EQ(thinkBudget(s).depthBound, 0);
  s = settingsFor(MODE_CLOCK);
  s.maxDepth = 65;
  EXPECT_EQ(thinkBudget(s).depthBound, 64);
}

TEST(IterationControl, WindowFollowsTheLastScore) {
  IterationControl it;
  EXPECT_EQ(it.iter, 1);
  EXPECT_EQ(it.alpha, -32001);
  EXPECT_EQ(it.beta, 32001);

  EXPECT_TRUE(it.acceptScore(25));
  EXPECT_EQ(it.iter, 2);
  EXPECT_EQ(it.lastScore, 25);
  EXPECT_EQ(it.alpha, -15);
  EXPECT_EQ(it.beta, 65);
  EXPECT_FALSE(it.failed);

  // Mate scores fit the full window.
  IterationControl mate;
  EXPECT_TRUE(mate.acceptScore(-32000));
  EXPECT_EQ(mate.alpha, -32040);
}

TEST(IterationControl, FailedWindowRepeatsTheDepthWithFullWindow) {
  IterationControl it;
  ASSERT_TRUE(it.acceptScore(25));   // window (-15, 65)

  // Failing high at the bound itself.
  EXPECT_FALSE(it.acceptScore(65));
  EXPECT_TRUE(it.failed);
  EXPECT_EQ(it.iter, 2);
  EXPECT_EQ(it.lastScore, 25);
  EXPECT_EQ(it.alpha, -32001);
  EXPECT_EQ(it.beta, 32001);

  EXPECT_TRUE(it.acceptScore(140));
  EXPECT_FALSE(it.failed);
  EXPECT_EQ(it.iter, 3);
  EXPECT_EQ(it.alpha, 100);
  EXPECT_EQ(it.beta, 180);

  // Failing low at the bound itself.
  EXPECT_FALSE(it.acceptScore(100));
  EXPECT_EQ(it.iter, 3);
  EXPECT_TRUE(it.acceptScore(99));
  EXPECT_EQ(it.iter, 4);
  EXPECT_TRUE(it.beyondDepth(3));
  EXPECT_FALSE(it.beyondDepth(4));
}

TEST(IterationControl, OneOrNoLegalMoveEndsAClockThink) {
  IterationControl it;
  it.acceptScore(0);
  EXPECT_EQ(it.clockRules(0, TIME_LIMIT_NONE), 0);
  EXPECT_EQ(it.clockRules(1, TIME_LIMIT_NONE), CLOCK_RULE_ONE_MOVE);
  EXPECT_EQ(it.clockRules(2, TIME_LIMIT_NONE), CLOCK_RULE_NO_MOVE);
}

TEST(IterationControl, TimeRule) {
  IterationControl it;
  it.addSearchTime(500000);
  it.addSearchTime(300000);   // total 800 ms, last 300 ms
  EXPECT_DOUBLE_EQ(it.totalTime, 800000);
  EXPECT_DOUBLE_EQ(it.iterTime, 300000);
  // 800 + 0.6 * 300 = 980 ms against four fifths of the budget.
  EXPECT_EQ(it.clockRules(0, 1226000), 0);             // 980 < 980.8
  EXPECT_EQ(it.clockRules(0, 1224000), CLOCK_RULE_TIME);  // 980 > 979.2
  EXPECT_EQ(it.clockRules(0, 0), CLOCK_RULE_TIME);
}

TEST(IterationControl, TwoMateScoresFromIterationSevenStop) {
  IterationControl it;
  // Mate scores from iteration 1; the count grows each pass, but the rule
  // waits until the iteration to come is above 6.
  for (int depth = 1; depth <= 5; depth++) {
    ASSERT_TRUE(it.acceptScore(31990));
    EXPECT_EQ(it.clockRules(0, TIME_LIMIT_NONE), 0) << depth;
  }
  EXPECT_EQ(it.mateCount, 5);
  ASSERT_TRUE(it.acceptScore(31990));   // iteration 6 done, 7 to come
  EXPECT_EQ(it.clockRules(0, TIME_LIMIT_NONE), CLOCK_RULE_MATE);

  // Being mated counts the same; a failed pass counts again with the last
  // in-window score.
  IterationControl mated;
  mated.iter = 7;
  mated.lastScore = -31995;
  mated.acceptScore(40000);   // a failed pass
  EXPECT_EQ(mated.clockRules(0, TIME_LIMIT_NONE), 0);
  EXPECT_EQ(mated.clockRules(0, TIME_LIMIT_NONE), CLOCK_RULE_MATE);

  // Ordinary scores never count.
  IterationControl plain;
  plain.iter = 10;
  plain.lastScore = 31743;
  plain.clockRules(0, TIME_LIMIT_NONE);
  EXPECT_EQ(plain.mateCount, 0);
}
