// The WinBoard side of the engine's output: the "move" line with the hint
// that starts pondering, the ponder miss, and the thinking lines.
//
// Nothing here starts a think: the ponder search on the expected reply and
// the think on a user move that missed the ponder are noted here and started
// by the command loop once the think that ended has returned, so that thinks
// never nest however long the game.
#include <climits>

#include "protocol/chessboarduci.h"
#include "protocol/commandloop.h"
#include "protocol/winboard.h"

void winboardMovePlayed(const char* moveText) {
  sendCommand("move %s", moveText);
  pondernextmove = 0;
  if (!pondering || movePonder == EmptyMove) return;
  char reply[MOVE_TEXT_SIZE];
  coordinateText(movePonder, reply);
  sendCommand("Hint: %s", reply);
  scheduleWinboardFollowUp(FOLLOW_PONDER);
}

void winboardPonderStopped() {
  pondernextmove = 0;
  if (!pondering || pondernewmove[0] == '\0') {
    pondernewmove[0] = '\0';
    return;
  }
  scheduleWinboardFollowUp(FOLLOW_MISSED_MOVE);
}

void winboardThinkingLine(int depth, int score, const PLine& pv, u32 length,
                          unsigned long long nodes, double microseconds) {
  char pvText[LINE_TEXT_SIZE];
  coordinateLineText(pv, length, pvText);
  double centiseconds = microseconds * 0.0001;
  int time = centiseconds < INT_MAX ? static_cast<int>(centiseconds) : INT_MAX;
  sendCommand("%d %d %d %llu %s", depth, score, time, nodes, pvText);
}
