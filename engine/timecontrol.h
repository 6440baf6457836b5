// Time control of a think: the time budget and depth bound of each search
// mode, and the iteration control of iterative deepening (aspiration window,
// re-search after a failed window, and the clock-mode stop rules).
#pragma once

#include "engine/types.h"

// timeLimit of a think that has no time limit (microseconds).
const u32 TIME_LIMIT_NONE = 4294967295u;
// Deepest iteration of any think, in plies.
const int MAX_SEARCH_DEPTH = 64;
// Budget of a clock that is already used up. Such a think finishes its
// first iteration whatever it takes (there is no time left to save, and a
// searched move is worth more than a quick one); the budget then ends it.
const u32 MIN_CLOCK_BUDGET = 1000;
// A fixed time per move keeps this much in reserve (at most a tenth of it).
const u32 MOVE_TIME_RESERVE = 25000;
// Half-width of the aspiration window around the last in-window score.
const int ASPIRATION_MARGIN = 40;

// Microseconds to spend on one move of a clock game.
//   remainingMs  the clock of the side to move (may be zero or overrun)
//   incrementMs  its increment per move, credited only after the move
//   movesToGo    moves to the next time control, 0 (or negative) for none
// The whole clock is spread over the moves to go (40 when there is no
// count) plus the increment, but never more than half of what is left.
u32 clockBudget(float remainingMs, i32 incrementMs, i32 movesToGo);

// Hard limit of a fixed time per move: the move time less a reserve of a
// tenth of it, at most 25 ms, for the move to reach the user interface.
u32 moveTimeLimit(u32 moveTime);

// Clamps a depth in plies to the deepest iteration of a think.
int clampSearchDepth(int depth);

// What a think's limits come from (fields of the engine object).
struct ThinkSettings {
  int searchMode;
  int depthLimit;
  int maxDepth;
  u32 moveTime;
  u32 timeLimit;      // kept by the modes that do not set it
  float remainingMs;  // clock of the side to move
  i32 incrementMs;    // increment of the side to move
  i32 movesToGo;
};

struct ThinkBudget {
  u32 timeLimit;              // microseconds, the hard limit of the search-time check
  int depthBound;             // deepest iteration, plies
  bool timed;                 // the think reads the clock at its start
  bool finishFirstIteration;  // no hard limit until iteration 1 is done
};

// The time limit and depth bound of a think in the given mode.
ThinkBudget thinkBudget(const ThinkSettings& settings);

// Reasons for which the clock-mode rules end a think (a set of bits).
enum {
  CLOCK_RULE_ONE_MOVE = 1,  // exactly one legal move
  CLOCK_RULE_NO_MOVE = 2,   // no legal move
  CLOCK_RULE_MATE = 4,      // a mate score found twice, deep enough
  CLOCK_RULE_TIME = 8       // the next iteration would not fit the budget
};

// The loop state of iterative deepening: the iteration to search, its
// window, the last in-window score and the time spent.
class IterationControl {
public:
  int iter = 1;  // iteration to search next, plies
  int alpha = -FULL_WINDOW;
  int beta = FULL_WINDOW;
  int lastScore = 0;     // score of the last in-window iteration
  int mateCount = 0;     // passes that ended with a mate score
  bool failed = false;   // the latest root search failed its window
  double totalTime = 0;  // microseconds of all root searches so far
  double iterTime = 0;   // microseconds of the latest root search

  // Counts the time of a finished root search.
  void addSearchTime(double microseconds);
  // Takes the score of a finished root search. Inside the window it is
  // kept, the window is centred on it and the next iteration follows (true:
  // report it). Outside, the same depth is searched again with the full
  // window (false: not reported).
  bool acceptScore(int score);
  // True when the iteration to come lies beyond the depth bound.
  bool beyondDepth(int depthBound) const { return iter > depthBound; }
  // The clock-mode stop rules after a pass, given the root state of the
  // root search (0 normal, 1 one legal move, 2 none) and the budget;
  // returns the CLOCK_RULE bits of the rules that end the think.
  int clockRules(int rootState, u32 timeLimit);
};
