// The search-time check: node and time limits of the think, and the poll of
// standard input through which commands reach a running search.
#include <time.h>

#include "engine/chessboard.h"
#include "engine/input.h"
#include "engine/search.h"

void readClock(TimeOfDay& t) {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  t.sec = static_cast<int64_t>(now.tv_sec);
  t.usec = static_cast<int64_t>(now.tv_nsec / 1000);
}

u64 elapsedMicroseconds(const TimeOfDay& since) {
  TimeOfDay now;
  readClock(now);
  int64_t us = (now.sec - since.sec) * 1000000 + (now.usec - since.usec);
  return us > 0 ? static_cast<u64>(us) : 0;
}

int ChessBoard::getInput() { return inputLineWaiting() ? 1 : 0; }

int ChessBoard::checkSearchLimits() {
  const bool tick = pollCounter >= pollPeriod;
  const bool clock = tick || (pollCounter & CLOCK_CHECK_MASK) == 0;
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
  //      which may set the stop code.
  if (!tick || !getInput()) return 1;
  onParseInputCommand();
  return stopSearch == STOP_NONE ? 1 : 0;
}
