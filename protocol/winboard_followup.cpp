// The follow-ups of a WinBoard think. A think never starts another: what
// has to follow it (the ponder search on the expected reply after an engine
// move, the user's move after a ponder miss, the analysis of the next
// position) is noted with the game position of that moment, and the command
// loop runs it once the think has returned and the lines kept back during
// it have run, only if the game is still in that position.
#include <cstdio>

#include "engine/log.h"
#include "protocol/chessboarduci.h"
#include "protocol/commandloop.h"
#include "protocol/winboard_parts.h"

using namespace winboard;

namespace {

// What follows the last think, and the game position it was noted in.
WinboardFollowUp followUp = FOLLOW_NOTHING;
u32 followUpIndex = 0;
u64 followUpKey = 0;

}  // namespace

namespace winboard {

void cancelFollowUp() { followUp = FOLLOW_NOTHING; }

void cancelPonderFollowUp() {
  if (followUp == FOLLOW_PONDER) cancelFollowUp();
}

}  // namespace winboard

void scheduleWinboardFollowUp(WinboardFollowUp next) {
  followUp = next;
  followUpIndex = board->curMoveIndex;
  followUpKey = board->currentNode.hashKey;
}

int runWinboardFollowUp() {
  if (!board || Quit || thinkRunning()) return 0;

  // 1. What the last think left to do, if the position is still the one it
  //    was noted in.
  WinboardFollowUp next = followUp;
  followUp = FOLLOW_NOTHING;
  if (board->curMoveIndex != followUpIndex || board->currentNode.hashKey != followUpKey)
    next = FOLLOW_NOTHING;

  // 2. After an engine move: the expected reply is played on the engine's
  //    board, and the engine ponders on it until the user's move arrives.
  //    A reply that ends the game is taken back: nothing to ponder.
  if (next == FOLLOW_PONDER && pondering && board->ponderEnabled && !winboard_forcemode &&
      !analyzing && movePonder != EmptyMove) {
    char reply[MOVE_TEXT_SIZE];
    coordinateText(movePonder, reply);
    if (!board->setMoveSquare(reply)) {
      Log::print("bad move !?");
      return 1;
    }
    if (board->countLegalMoves() == 0) {
      board->takeBack();
      return 1;
    }
    startThink(1);
    return 1;
  }

  // 3. After a ponder miss: the user's move, now that the pondered move has
  //    been taken back.
  if (next == FOLLOW_MISSED_MOVE && pondernewmove[0] != '\0') {
    char move[USER_MOVE_SIZE];
    snprintf(move, sizeof move, "%s", pondernewmove);
    pondernewmove[0] = '\0';
    playUserMove(move);
    return 1;
  }

  // 4. In analysis mode, the analysis of the current position, while it
  //    has moves to analyse.
  if (analyzing && !positionRefused && board->countLegalMoves() > 0) {
    board->setEngineSearchMode(MODE_INFINITE, 0, 0);
    startThink(0);
    return 1;
  }
  return 0;
}
