// The WinBoard ponder chain: after the engine's move with pondering on, the
// expected reply is played on the engine's board and searched as a ponder
// search (a follow-up of the think); the user's move then either hits it
// (the search goes on as the real think, on the engine's clock) or misses
// it (the search stops, the pondered move is taken back and the user's move
// is played). "easy" switches pondering off.
#include <cstdio>

#include "engine/log.h"
#include "protocol/chessboarduci.h"
#include "protocol/commandloop.h"
#include "protocol/winboard_parts.h"

namespace {

// Promotion piece of a move text's fifth character: 0 for none, -1 for a
// letter that names no promotion piece.
int promotionOf(const char* text) {
  if (text[4] == '\0') return 0;
  unsigned piece = ChessBoard::promotionOfLetter(text[4]);
  return piece ? static_cast<int>(piece) : -1;
}

// The move text names move: same squares, same promotion piece.
bool sameMove(const char* text, ChessMove move) {
  unsigned from = static_cast<unsigned>((text[0] - 'a') + 8 * (text[1] - '1'));
  unsigned to = static_cast<unsigned>((text[2] - 'a') + 8 * (text[3] - '1'));
  return move.from() == from && move.to() == to &&
         promotionOf(text) == static_cast<int>(move.promotion());
}

}  // namespace

namespace winboard {

bool ponderSearchRunning() { return thinkRunning() && board->ponderSearch; }

// Ends a running ponder search as a ponder miss with no user move to play:
// the pondered move is taken back and nothing is sent.
void dropPonderSearch() {
  pondernewmove[0] = '\0';
  board->stopSearch = STOP_PONDER;
}

// "easy": pondering off. A running ponder search ends as a ponder miss; a
// normal think moves at once; an analysis goes on.
void easyCommand() {
  pondering = 0;
  board->ponderEnabled = 0;
  board->ponderMove = EmptyMove;
  movePonder = EmptyMove;
  cancelPonderFollowUp();
  if (!thinkRunning()) {
    board->ponderSearch = 0;
  } else if (board->ponderSearch) {
    dropPonderSearch();
  } else if (!analyzing) {
    board->stopSearch = STOP_PLAY;
  }
}

// A user move: during a ponder search on the expected reply it is a ponder
// hit (the search goes on as the real think) or a ponder miss (the search
// is stopped, its pondered move taken back, and the user's move played
// next); otherwise it is played now.
void userMove(char* line) {
  countHalfMove++;
  if (!thinkRunning()) {
    playUserMove(line);
    return;
  }
  if (sameMove(line, movePonder)) {
    Log::print("same move !");
    startEngineClock();
    pondernextmove = 0;
    board->ponderSearch = 0;
    board->pollCounter = board->pollPeriod;
    board->checkSearchTime();
  } else {
    Log::print("different move !");
    snprintf(pondernewmove, sizeof pondernewmove, "%s", line);
    board->stopSearch = STOP_PONDER;
  }
}

}  // namespace winboard
