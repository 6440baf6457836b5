// The parts of the WinBoard handler that its files share: analysis mode,
// the clocks and the think that runs on them, the follow-ups of a think, and
// the steps of the ponder chain. Only the handler's own files include it;
// everything here is in namespace winboard.
#pragma once

#include <cstddef>

#include "protocol/winboard.h"

namespace winboard {

// Room of a user move text: four coordinates, a promotion letter, the
// terminator.
const size_t USER_MOVE_SIZE = 8;

// ---- commands (winboard.cpp) ----
// Analysis mode: the engine analyses every position until "exit".
extern bool analyzing;
// A "setboard" FEN was refused: the engine does not have the user
// interface's position, so it neither thinks nor plays until "new" or a
// good "setboard" sets one up.
extern bool positionRefused;
// Plays a user move and, unless the engine is in force mode or analysing,
// thinks and answers with its move; "Illegal move" for a refused one.
void playUserMove(const char* text);

// ---- clocks and level (winboard_clock.cpp) ----
// The clocks of the engine and of its opponent, milliseconds.
extern long long engineClockMs;
extern long long opponentClockMs;
// The engine's clock runs from now for the think under way.
void startEngineClock();
// Starts a think on the game position (a ponder search when ponder is 1)
// with the clocks written into the engine object, and charges the engine's
// clock for it; returns when the think has ended.
void startThink(int ponder);
// "level MPS BASE INC".
void levelCommand(const char* line);

// ---- follow-ups (winboard_followup.cpp) ----
// Nothing is to follow the last think.
void cancelFollowUp();
// The ponder search that was to follow the last think is not to follow.
void cancelPonderFollowUp();

// ---- the ponder chain (winboard_ponder.cpp) ----
// True while the engine object runs a ponder search.
bool ponderSearchRunning();
// Ends a running ponder search as a ponder miss with no user move to play.
void dropPonderSearch();
// "easy": pondering off.
void easyCommand();
// A user move: a ponder hit or miss during a ponder search, otherwise
// played at once.
void userMove(char* line);

}  // namespace winboard
