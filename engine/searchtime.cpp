// The search-time check: node and time limits of the think, and the poll of
// standard input through which commands reach a running search.
#include "engine/chessboard.h"
#include "engine/clock.h"
#include "engine/input.h"

int ChessBoard::getInput() { return inputLineWaiting() ? 1 : 0; }

int ChessBoard::checkSearchLimits() {
  // 0. A stopped search: 0, and the count of the call is taken back.
  if (stopSearch) {
    --pollCounter;
    return 0;
  }
  const bool tick = pollCounter >= pollPeriod;
  const bool clock = tick || (pollCounter & CLOCK_CHECK_MASK) == 0;
  if (tick) pollCounter -= pollPeriod;

  // 1. The next call that needs this path: every one under a node limit,
  //    else the earlier of the next tick and the next clock reading.
  if (searchMode == MODE_NODES) {
    pollEvent = 0;
  } else {
    const u32 nextClock = (pollCounter | CLOCK_CHECK_MASK) + 1;
    pollEvent = nextClock < pollPeriod ? nextClock : pollPeriod;
  }

  // 2. Limits of the mode; a ponder search and an infinite search have
  //    none: they end only on a command. The node limit is tested on every
  //    call, the clock on every tick and in between every
  //    CLOCK_CHECK_MASK + 1 calls.
  if (!ponderSearch) {
    const bool reached = searchMode == MODE_NODES
                             ? countNodes >= nodeLimit
                             : searchMode != MODE_DEPTH && searchMode != MODE_INFINITE && clock &&
                                   elapsedMicroseconds(startTime) >= timeLimit;
    if (reached) stopSearch = STOP_PLAY;
  }

  // 3-4. On a tick, a waiting line is read and executed by the front-end,
  //      which may set the stop code. A test-suite run reads no input: it
  //      runs before any protocol is chosen.
  if (!stopSearch && tick && !testSuiteMode && getInput()) onParseInputCommand();

  // 5. A stop sends every later call to step 0: a stop is only ever set
  //    here (by a limit or by a command run from the poll) while a search
  //    runs, so the fast path needs no test of its own.
  if (stopSearch == STOP_NONE) return 1;
  pollEvent = 0;
  return 0;
}
