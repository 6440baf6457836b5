// The WinBoard/xboard protocol: the command handler, the thinks it starts
// and what follows them (the ponder search on the expected reply, the reply
// to a user move that missed the ponder, the restart of an analysis), and
// the WinBoard side of the engine's output.
//
// WinBoard thinks never nest: every think is started from the command loop
// when no think runs, and whatever must follow a think is noted by its
// output callback and run by the command loop once the think has returned
// and the lines kept back during it have been carried out.
#pragma once

#include "engine/types.h"

// ---- WinBoard state of the front-end ----
extern char pondernewmove[8];   // the user's move that missed the ponder
extern int firstThink;          // the first "go" of the game was seen
extern int uciMaxGameMoves;     // moves per time control
extern int uciRemainingMoves;   // moves left to the next time control
extern int countHalfMove;       // user moves received in this game
extern int winboard_forcemode;  // force mode: the engine plays neither side

// Handles one line in WinBoard mode. 0 when the program is to end ("quit"),
// 1 for every other line. While a think runs, only the commands that are
// safe inside a search act at once; every other line is kept back and runs,
// in order, once the think has returned.
int parseWinboard(char* line);

// Called by the command loop when no think runs and no kept line waits:
// starts the think that has to follow the last one (the ponder search after
// an engine move, the think on a user move that missed the ponder, or the
// analysis of the current position). 1 when it did something, 0 when the
// next command should be read.
int runWinboardFollowUp();

// Moves per time control until "level" says otherwise.
const int DEFAULT_MOVES_PER_CONTROL = 40;

// The counters of a new game: moves per control and moves to go back to
// DEFAULT_MOVES_PER_CONTROL, no user move and no "go" seen yet. Also run
// when a new game asked for during a think is set up at its end.
void resetWinboardCounters();

// ---- pieces of the handler, exposed for the unit tests ----

// A user move line: four or five characters whose first four are a file
// letter "a".."h", a rank digit "1".."8", a file letter and a rank digit.
bool isWinboardMoveText(const char* line);

// Moves the engine has to make in the current time control: with
// movesPerControl > 0, movesPerControl less the moves its side has made in
// the game modulo movesPerControl; with no count per control, 0.
int winboardMovesToGo(int movesPerControl, unsigned movesMade);

// Milliseconds of a clock given in centiseconds ("time", "otim"); negative
// values count as 0. Converted in 64 bits.
long long winboardClockMs(long long centiseconds);

// The fields of "level MPS BASE INC".
struct WinboardLevel {
  int movesPerControl;  // 0: the whole game in one control
  int minutes;          // base time as given, for the log
  int seconds;
  long long baseMs;  // base time of each clock, milliseconds
  int incrementMs;   // increment per move, milliseconds
};

// Reads the three fields after "level " (MINUTES or MINUTES:SECONDS for the
// base; text after the number is ignored); negative values count as 0.
// false when the base field is missing.
bool readWinboardLevel(const char* fields, WinboardLevel& level);

// ---- the WinBoard side of the engine's output (winboard_output.cpp) ----

// A think has played the engine's move, whose coordinate text is moveText:
// "move", and with pondering on and an expected reply (movePonder), the
// "Hint" and the ponder search to follow.
void winboardMovePlayed(const char* moveText);

// A ponder search was stopped and its pondered move taken back: on a ponder
// miss, the user's move (pondernewmove) is to be played next.
void winboardPonderStopped();

// The thinking line of a finished iteration: depth, score, time in
// centiseconds, nodes and the principal variation.
void winboardThinkingLine(int depth, int score, const PLine& pv, u32 length,
                          unsigned long long nodes, double microseconds);

// What has to follow the think that has just ended.
enum WinboardFollowUp {
  FOLLOW_NOTHING = 0,
  FOLLOW_PONDER = 1,      // play movePonder and ponder on it
  FOLLOW_MISSED_MOVE = 2  // play pondernewmove and think on it
};

// Notes what has to follow; it is carried out by runWinboardFollowUp only
// if the game position is still the one of this moment.
void scheduleWinboardFollowUp(WinboardFollowUp followUp);
