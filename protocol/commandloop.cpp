// The command loop and the front-end's state.
//
// Every line comes from the one line reader of standard input that the
// search's input poll consults too, so a line the poll has seen waiting is
// exactly the line read here, however the lines were grouped when they
// arrived. While a think runs, this loop is entered again from inside the
// search (the engine's input callback) to read and run one line; a handler
// that must not act in the middle of a search keeps its line back with
// deferCommand, and the loop runs such lines first once the think is over.
#include "protocol/commandloop.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "engine/log.h"
#include "protocol/chessboarduci.h"
#include "protocol/commandtext.h"
#include "protocol/uci.h"
#include "protocol/winboard.h"

const char* const DEFAULT_BOOK_NAME = "quarvelopenbook.bin";

ChessBoardUCI* board = nullptr;
char* command = nullptr;
int guiMode = GUI_NONE;
int Quit = 0;
char ownbook[BOOK_NAME_SIZE];
int useownbook = 0;
int pondering = 0;
int pondernextmove = 0;
ChessMove movePonder = EmptyMove;
int asknewgame = 0;
int showthinking = 1;

namespace {

// Lines kept back during a think: zero-terminated, one after another, the
// oldest at deferredStart. Room for several lines of the longest length.
const size_t DEFERRED_SIZE = 16 * COMMAND_SIZE;
char deferred[DEFERRED_SIZE];
size_t deferredStart = 0;
size_t deferredEnd = 0;

// Moves the oldest kept line into buf; false when none is kept.
bool takeDeferredCommand(char* buf, size_t size) {
  if (deferredStart == deferredEnd) return false;
  const char* line = deferred + deferredStart;
  size_t length = strlen(line);
  size_t copied = length < size - 1 ? length : size - 1;
  memcpy(buf, line, copied);
  buf[copied] = '\0';
  deferredStart += length + 1;
  if (deferredStart == deferredEnd) deferredStart = deferredEnd = 0;
  return true;
}

// Hands a line to the handler of the protocol in force; a handler result of
// 0 ends the program.
void dispatch(char* line) {
  switch (guiMode) {
    case GUI_NONE:
      if (!parseWaitGUI(line)) Quit = 1;
      break;
    case GUI_UCI:
      if (!parseUCI(line)) Quit = 1;
      break;
    case GUI_WINBOARD:
      if (!parseWinboard(line)) Quit = 1;
      break;
    default: break;
  }
}

}  // namespace

bool thinkRunning() { return board != nullptr && board->computerThinking != 0; }

void deferCommand(const char* line) {
  size_t length = strlen(line) + 1;
  if (deferredEnd + length > DEFERRED_SIZE && deferredStart > 0) {
    memmove(deferred, deferred + deferredStart, deferredEnd - deferredStart);
    deferredEnd -= deferredStart;
    deferredStart = 0;
  }
  if (deferredEnd + length > DEFERRED_SIZE) {
    Log::print(17, "command dropped : %s", line);
    return;
  }
  memcpy(deferred + deferredEnd, line, length);
  deferredEnd += length;
}

int parseCommand() {
  // 1. The next line: one kept back during a think, once no think runs;
  //    otherwise the next line of standard input.
  //    In WinBoard mode, what follows the last think (a ponder search, the
  //    think on a user move, an analysis) comes before the next input.
  if (thinkRunning() || !takeDeferredCommand(command, COMMAND_SIZE)) {
    if (guiMode == GUI_WINBOARD && runWinboardFollowUp()) return 1;
    if (readInputLine(command, COMMAND_SIZE) < 0) {
      // The end of input stands for "quit". A think that ends by itself
      // finishes first (the lines kept back then run, and the next read at
      // the top level ends the program); a ponder or infinite think, which
      // only a command could end, is aborted.
      Log::print(17, "command error !!!");
      if (!thinkRunning() || board->ponderSearch || board->searchMode == MODE_INFINITE) {
        char quit[] = "quit";
        dispatch(quit);
        Quit = 1;
      }
      return 0;
    }
  }

  // 2. Tokens one blank apart, whatever blanks, tabs or line end the user
  //    interface wrote (a line kept back was put in this form when it was
  //    read); a line of nothing else is ignored.
  normalizeCommandLine(command);
  if (command[0] == '\0') return 1;

  Log::print(1, "--> '%s'", command);
  dispatch(command);
  return 1;
}

int parseWaitGUI(char* line) {
  if (strcmp(line, "uci") == 0) {
    guiMode = GUI_UCI;
    parseUCI(line);
    return 1;
  }
  if (strcmp(line, "xboard") == 0) {
    guiMode = GUI_WINBOARD;
    parseWinboard(line);
    return 1;
  }
  Log::print("unknown protocol ...");
  return 0;
}

void sendCommand(const char* format, ...) {
  static char buffer[OUTPUT_SIZE];
  va_list args;
  va_start(args, format);
  vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  Log::print(1, "sendCommand -> '%s'", buffer);
  printf("%s\n", buffer);
}

int getCommand(char* buffer, int size) {
  if (size <= 0) return 0;
  return readInputLine(buffer, static_cast<size_t>(size)) < 0 ? 0 : 1;
}
