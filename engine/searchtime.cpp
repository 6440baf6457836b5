// The search-time check: node and time limits of the think, and the poll of
// standard input through which commands reach a running search.
#include "engine/chessboard.h"
#include "engine/clock.h"
#include "engine/input.h"

namespace {

// Calls of checkSearchTime between two readings of the clock, a power of
// two. The clock is read far more often than input is polled, so that a time
// limit is overshot by a small fraction of a millisecond: between two calls
// the search does at most one node's work (a move list, its ordering, one
// evaluation), a few microseconds, and a clock reading costs less than one
// call's share of that.
const u32 CLOCK_CHECK_MASK = 1023;

}  // namespace

int ChessBoard::getInput() { return inputLineWaiting() ? 1 : 0; }

int ChessBoard::checkSearchTime() {
  if (stopSearch) return 0;

  // 1. Count the call; a poll tick comes every pollPeriod calls (at once
  //    when the front-end has set pollCounter to pollPeriod). Most calls
  //    end here: no tick, no clock reading, no node limit.
  ++pollCounter;
  const bool tick = pollCounter >= pollPeriod;
  const bool clock = tick || (pollCounter & CLOCK_CHECK_MASK) == 0;
  if (!clock && searchMode != MODE_NODES) return 1;
  if (tick) pollCounter -= pollPeriod;

  // 2. Limits of the mode; a ponder search and an infinite search have
  //    none: they end only on a command. The node limit is tested on every
  //    call, the clock on every tick and in between every
  //    CLOCK_CHECK_MASK + 1 calls.
  if (!ponderSearch) {
    if (searchMode == MODE_NODES) {
      if (countNodes >= nodeLimit) {
        stopSearch = STOP_PLAY;
        return 0;
      }
    } else if (searchMode != MODE_DEPTH && searchMode != MODE_INFINITE && clock) {
      if (elapsedMicroseconds(startTime) >= timeLimit) {
        stopSearch = STOP_PLAY;
        return 0;
      }
    }
  }

  // 3-4. On a tick, a waiting line is read and executed by the front-end,
  //      which may set the stop code. A test-suite run reads no input: it
  //      runs before any protocol is chosen.
  if (!tick || testSuiteMode || !getInput()) return 1;
  onParseInputCommand();
  return stopSearch == STOP_NONE ? 1 : 0;
}
