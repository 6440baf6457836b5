// The WinBoard clocks: "time" always gives the engine's clock and "otim"
// the opponent's, whoever is on move; both are kept here in milliseconds and
// written into the engine object just before each think, with the moves to
// go of the time control that "level" sets. After the engine's move its
// clock is charged for the think until the user interface sends it again.
#include <climits>
#include <cstdlib>
#include <cstring>

#include "engine/clock.h"
#include "engine/log.h"
#include "protocol/chessboarduci.h"
#include "protocol/commandloop.h"
#include "protocol/commandtext.h"
#include "protocol/winboard_parts.h"

namespace {

// Room of the base-time field of "level".
const size_t FIELD_SIZE = 264;

// Since when the engine's clock has been running for the think under way:
// from the start of a think on its own move, or from a ponder hit.
bool engineClockRunning = false;
TimeOfDay engineClockStart;

}  // namespace

namespace winboard {

long long engineClockMs = 0;
long long opponentClockMs = 0;

void startEngineClock() {
  readClock(engineClockStart);
  engineClockRunning = true;
}

// Starts a think on the game position; the clocks and the moves to go of
// the time control are written just before it. Returns when the think has
// ended and its output has been written.
void startThink(int ponder) {
  unsigned side = board->currentNode.sideToMove;
  board->remainingTime[side] = static_cast<float>(engineClockMs);
  board->remainingTime[side ^ 1] = static_cast<float>(opponentClockMs);
  // The moves made by the side to move: one in every two plies of the game.
  uciRemainingMoves = winboardMovesToGo(uciMaxGameMoves, board->curMoveIndex / 2);
  board->movesToGo = uciRemainingMoves;
  pondernextmove = ponder;
  cancelFollowUp();
  if (ponder)
    engineClockRunning = false;
  else
    startEngineClock();
  u32 before = board->curMoveIndex;
  board->computerPlay(ponder);

  // The engine has moved: until the user interface sends its clock again,
  // the engine's clock is the one it had less the time of this think, plus
  // the increment. The ponder search that follows budgets with it.
  if (engineClockRunning && board->curMoveIndex == before + 1) {
    long long used = static_cast<long long>(elapsedMicroseconds(engineClockStart) / 1000);
    engineClockMs = clampNumber(engineClockMs - used, 0, LLONG_MAX / 2) +
                    board->timeIncrement[board->currentNode.sideToMove ^ 1];
  }
  engineClockRunning = false;
}

// "level MPS BASE INC".
void levelCommand(const char* line) {
  WinboardLevel level;
  if (!readWinboardLevel(line + 6, level)) return;
  Log::print("level : %d, %d:%d, %d", level.movesPerControl, level.minutes, level.seconds,
             level.incrementMs / 1000);
  board->movesToGo = level.movesPerControl;
  uciMaxGameMoves = level.movesPerControl;
  uciRemainingMoves = level.movesPerControl;
  board->timeIncrement[BLACK] = board->timeIncrement[WHITE] = level.incrementMs;
  engineClockMs = opponentClockMs = level.baseMs;
  board->setEngineSearchMode(MODE_CLOCK, 0, 0);
}

}  // namespace winboard

int winboardMovesToGo(int movesPerControl, unsigned movesMade) {
  if (movesPerControl <= 0) return 0;
  unsigned control = static_cast<unsigned>(movesPerControl);
  return static_cast<int>(control - movesMade % control);
}

long long winboardClockMs(long long centiseconds) {
  return clampNumber(centiseconds, 0, LLONG_MAX / 10) * 10;
}

bool readWinboardLevel(const char* fields, WinboardLevel& level) {
  // 1. Moves per control, then the base field, copied whole or cut to its
  //    buffer, then the increment.
  char* end = nullptr;
  long long mps = strtoll(fields, &end, 10);
  if (end == fields) return false;
  const char* p = end;
  while (*p == ' ') p++;
  size_t length = strcspn(p, " ");
  if (length == 0) return false;
  char base[FIELD_SIZE];
  size_t kept = length < sizeof base - 1 ? length : sizeof base - 1;
  memcpy(base, p, kept);
  base[kept] = '\0';
  long long increment = strtoll(p + length, nullptr, 10);

  // 2. The base: MINUTES or MINUTES:SECONDS; whatever follows is ignored.
  long long minutes = strtoll(base, &end, 10);
  long long seconds = *end == ':' ? strtoll(end + 1, nullptr, 10) : 0;

  // 3. Negative values count as 0; the rest is held to what the engine's
  //    fields can carry.
  const long long maxMinutes = 1000000000LL;
  minutes = clampNumber(minutes, 0, maxMinutes);
  seconds = clampNumber(seconds, 0, maxMinutes);
  level.movesPerControl = static_cast<int>(clampNumber(mps, 0, INT_MAX));
  level.minutes = static_cast<int>(minutes);
  level.seconds = static_cast<int>(seconds);
  level.baseMs = (minutes * 60 + seconds) * 1000;
  level.incrementMs = static_cast<int>(clampNumber(increment, 0, INT_MAX / 1000) * 1000);
  return true;
}
