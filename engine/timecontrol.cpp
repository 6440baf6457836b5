// Time budget of a think and the iteration control of iterative deepening.
#include "engine/timecontrol.h"

#include <algorithm>
#include <cstdint>

#include "engine/chessboard.h"

namespace {

// Saturates a microsecond count to the unsigned 32-bit range of timeLimit.
u32 saturate32(int64_t value) {
  if (value <= 0) return 0;
  if (value >= static_cast<int64_t>(TIME_LIMIT_NONE)) return TIME_LIMIT_NONE;
  return static_cast<u32>(value);
}

}  // namespace

u32 clockBudget(float remainingMs, i32 incrementMs, i32 movesToGo) {
  // A clock at zero or overrun (or not a number) still needs a move.
  if (!(remainingMs > 0)) return MIN_CLOCK_BUDGET;

  // The clock in whole microseconds, in 64 bits (a float clock can exceed
  // any 32-bit count); beyond 2^62 it is as good as endless.
  const double limit = 4611686018427387904.0;  // 2^62
  double clockUs = static_cast<double>(remainingMs) * 1000.0;
  int64_t clock = clockUs >= limit ? static_cast<int64_t>(limit) : static_cast<int64_t>(clockUs);

  int64_t moves = std::max<i32>(movesToGo, 0);
  int64_t budget;
  if (moves == 0) {
    budget = clock / 40;
    if (incrementMs >= 1) budget += static_cast<int64_t>(incrementMs) * 1000;
  } else if (moves == 1) {
    budget = clock / 2;
  } else {
    budget = clock / moves;
  }
  // The increment arrives only after the move: never plan more than half
  // of what is on the clock now.
  budget = std::min(budget, clock / 2);
  return saturate32(budget);
}

u32 moveTimeLimit(u32 moveTime) { return moveTime - std::min(moveTime / 10, MOVE_TIME_RESERVE); }

int clampSearchDepth(int depth) { return std::min(depth, MAX_SEARCH_DEPTH); }

ThinkBudget thinkBudget(const ThinkSettings& settings) {
  ThinkBudget budget;
  budget.timeLimit = settings.timeLimit;
  budget.depthBound = clampSearchDepth(settings.maxDepth);
  budget.timed = true;
  budget.finishFirstIteration = false;
  switch (settings.searchMode) {
    case MODE_DEPTH:
      budget.depthBound = clampSearchDepth(settings.depthLimit);
      budget.timed = false;
      break;
    case MODE_MOVETIME: budget.timeLimit = moveTimeLimit(settings.moveTime); break;
    case MODE_CLOCK:
      budget.timeLimit =
          clockBudget(settings.remainingMs, settings.incrementMs, settings.movesToGo);
      budget.finishFirstIteration = !(settings.remainingMs > 0);
      break;
    case MODE_INFINITE: budget.timeLimit = TIME_LIMIT_NONE; break;
    default:  // node count, and modes that set no limit
      break;
  }
  return budget;
}

void IterationControl::addSearchTime(double microseconds) {
  iterTime = microseconds;
  totalTime += microseconds;
}

bool IterationControl::acceptScore(int score) {
  if (score >= beta || score <= alpha) {
    failed = true;
    alpha = -FULL_WINDOW;
    beta = FULL_WINDOW;
    return false;
  }
  failed = false;
  lastScore = score;
  alpha = score - ASPIRATION_MARGIN;
  beta = score + ASPIRATION_MARGIN;
  iter++;
  return true;
}

int IterationControl::clockRules(int rootState, u32 timeLimit) {
  int rules = 0;
  if (rootState == 1) rules |= CLOCK_RULE_ONE_MOVE;
  if (rootState == 2) rules |= CLOCK_RULE_NO_MOVE;
  // Every pass with a mate score counts, a failed one again with the same
  // score; the second one from iteration 7 on ends the think.
  if (lastScore > MATE_RULE_SCORE || lastScore < -MATE_RULE_SCORE) {
    mateCount++;
    if (iter > 6 && mateCount > 1) rules |= CLOCK_RULE_MATE;
  }
  // Stop when the time spent plus a share of the last iteration passes four
  // fifths of the budget: the next, longer iteration would not finish in it.
  if (totalTime + 0.6 * iterTime > 0.8 * static_cast<double>(timeLimit)) rules |= CLOCK_RULE_TIME;
  return rules;
}
