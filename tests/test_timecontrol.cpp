// Time budget of every search mode, the aspiration window with its
// re-search rule, and the clock-mode stop rules.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "engine/chessboard.h"
#include "engine/timecontrol.h"

TEST(ClockBudget, PublishedFiguresAndMends) {
  const float inf = std::numeric_limits<float>::infinity();
  const struct {
    float clockMs;
    i32 incrementMs, movesToGo;
    u32 budget;
  } cases[] = {
      {300000, 0, 40, 7500000},
      {300000, 0, 1, 150000000},
      {300000, 1000, 0, 8500000},
      {300000, 0, 0, 7500000},
      {300000, -500, 0, 7500000},
      {300000, 1000, 40, 7500000},  // the increment counts only without a move count
      // Never more than half the clock: the increment comes after the move.
      {500, 1000, 0, 250000},
      {1000, 10, 0, 35000},
      // A used-up clock gets the smallest budget.
      {0, 0, 0, MIN_CLOCK_BUDGET},
      {-2500, 1000, 0, MIN_CLOCK_BUDGET},
      {-1, 0, 1, MIN_CLOCK_BUDGET},
      {std::nanf(""), 0, 40, MIN_CLOCK_BUDGET},
      // A negative move count counts as none.
      {300000, 1000, -3, 8500000},
      {300000, 0, INT32_MIN, 7500000},
      // Saturated to 32 bits instead of wrapping; just inside the range.
      {1e9f, 0, 40, TIME_LIMIT_NONE},
      {1e9f, INT32_MAX, 0, TIME_LIMIT_NONE},
      {3.0e38f, 0, 0, TIME_LIMIT_NONE},
      {inf, 0, 2, TIME_LIMIT_NONE},
      {8000000, 0, 2, 4000000000u},
  };
  for (const auto& c : cases)
    EXPECT_EQ(clockBudget(c.clockMs, c.incrementMs, c.movesToGo), c.budget)
        << c.clockMs << " ms, inc " << c.incrementMs << ", moves " << c.movesToGo;
  for (int moves = 0; moves <= 3; moves++)
    for (float clock : {1.0f, 10.0f, 999.0f, 60000.0f})
      for (int inc : {0, 10, 5000, 2000000000})
        EXPECT_LE(clockBudget(clock, inc, moves), (u32)(clock * 1000.0f / 2.0f))
            << clock << " " << inc;
  EXPECT_LT(MIN_CLOCK_BUDGET, 10000u);
}

TEST(ThinkBudget, EveryMode) {
  // A fixed move time keeps a tenth, at most 25 ms.
  const u32 moveTimes[][2] = {
      {5000000, 4975000},        {250000, 225000}, {100000, 90000}, {10, 9}, {0, 0},
      {4294967295u, 4294942295u}};
  for (const auto& m : moveTimes) EXPECT_EQ(moveTimeLimit(m[0]), m[1]) << m[0];

  ThinkSettings s = {MODE_DEPTH, 8, 64, 5000000, 7500, 300000.0f, 0, 40};
  const struct {
    int mode;
    u32 timeLimit;
    int depthBound;
  } modes[] = {{MODE_DEPTH, 7500, 8},  // the clock plays no part
               {MODE_NODES, 7500, 64},
               {MODE_MOVETIME, 4975000, 64},
               {MODE_CLOCK, 7500000, 64},
               {MODE_INFINITE, TIME_LIMIT_NONE, 64},
               {2, 7500, 64},
               {4, 7500, 64},
               {6, 7500, 64},
               {8, 7500, 64},
               {-1, 7500, 64}};
  for (const auto& m : modes) {
    s.searchMode = m.mode;
    const ThinkBudget b = thinkBudget(s);
    EXPECT_EQ(b.timeLimit, m.timeLimit) << m.mode;
    EXPECT_EQ(b.depthBound, m.depthBound) << m.mode;
    if (m.mode == MODE_DEPTH || m.mode == MODE_NODES) {
      EXPECT_EQ(b.timed, m.mode == MODE_NODES);
    }
    EXPECT_FALSE(b.finishFirstIteration);
  }
  // An overrun clock: the smallest budget, after iteration 1 in any case.
  s.searchMode = MODE_CLOCK;
  s.remainingMs = -20.0f;
  EXPECT_EQ(thinkBudget(s).timeLimit, MIN_CLOCK_BUDGET);
  EXPECT_TRUE(thinkBudget(s).finishFirstIteration);
  s.remainingMs = 0.5f;
  EXPECT_FALSE(thinkBudget(s).finishFirstIteration);
  // Depths above 64 are clamped; depth 0 still searches iteration 1.
  s.maxDepth = 65;
  EXPECT_EQ(thinkBudget(s).depthBound, 64);
  s.searchMode = MODE_DEPTH;
  s.depthLimit = 1000;
  EXPECT_EQ(thinkBudget(s).depthBound, 64);
  s.depthLimit = 0;
  EXPECT_EQ(thinkBudget(s).depthBound, 0);
}

TEST(IterationControl, AspirationWindowAndReSearch) {
  IterationControl it;
  EXPECT_EQ(it.iter, 1);
  EXPECT_EQ(it.alpha, -32001);
  EXPECT_EQ(it.beta, 32001);
  EXPECT_TRUE(it.acceptScore(25));
  EXPECT_EQ(it.iter, 2);
  EXPECT_EQ(it.alpha, -15);
  EXPECT_EQ(it.beta, 65);
  // Failing high at the bound itself: the same depth with the full window.
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
  EXPECT_TRUE(it.acceptScore(99));
  EXPECT_EQ(it.iter, 4);
  EXPECT_TRUE(it.beyondDepth(3));
  EXPECT_FALSE(it.beyondDepth(4));
  // Mate scores fit the full window.
  IterationControl mate;
  EXPECT_TRUE(mate.acceptScore(-32000));
  EXPECT_EQ(mate.alpha, -32040);
}

TEST(IterationControl, ClockRules) {
  IterationControl it;
  it.acceptScore(0);
  EXPECT_EQ(it.clockRules(0, TIME_LIMIT_NONE), 0);
  EXPECT_EQ(it.clockRules(1, TIME_LIMIT_NONE), CLOCK_RULE_ONE_MOVE);
  EXPECT_EQ(it.clockRules(2, TIME_LIMIT_NONE), CLOCK_RULE_NO_MOVE);
  // Time: 800 ms spent, the last 300 ms; 800 + 0.6 * 300 = 980 ms against
  // four fifths of the budget.
  it.addSearchTime(500000);
  it.addSearchTime(300000);
  EXPECT_EQ(it.clockRules(0, 1226000), 0);
  EXPECT_EQ(it.clockRules(0, 1224000), CLOCK_RULE_TIME);
  EXPECT_EQ(it.clockRules(0, 0), CLOCK_RULE_TIME);

  // Mate scores from iteration 1: the count grows each pass, but the rule
  // waits until the iteration to come is above 6.
  IterationControl mate;
  for (int depth = 1; depth <= 5; depth++) {
    ASSERT_TRUE(mate.acceptScore(31990));
    EXPECT_EQ(mate.clockRules(0, TIME_LIMIT_NONE), 0) << depth;
  }
  ASSERT_TRUE(mate.acceptScore(31990));
  EXPECT_EQ(mate.clockRules(0, TIME_LIMIT_NONE), CLOCK_RULE_MATE);
  // Being mated counts the same; a failed pass counts again with the last
  // in-window score; ordinary scores never count.
  IterationControl mated;
  mated.iter = 7;
  mated.lastScore = -31995;
  mated.acceptScore(40000);
  EXPECT_EQ(mated.clockRules(0, TIME_LIMIT_NONE), 0);
  EXPECT_EQ(mated.clockRules(0, TIME_LIMIT_NONE), CLOCK_RULE_MATE);
  IterationControl plain;
  plain.iter = 10;
  plain.lastScore = 31743;
  plain.clockRules(0, TIME_LIMIT_NONE);
  EXPECT_EQ(plain.mateCount, 0);
}
