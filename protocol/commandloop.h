// The command loop: reads one line at a time and hands it to the handler of
// the protocol in force, chosen by the first non-empty line. Also the
// front-end's global state, shared by the protocol handlers, the engine's
// output callbacks and the program entry, and the single writer of protocol
// lines.
#pragma once

#include <cstddef>

#include "engine/input.h"
#include "engine/types.h"
#include "engine/version.h"

class ChessBoardUCI;

// Protocol in force.
enum { GUI_NONE = 0, GUI_UCI = 1, GUI_WINBOARD = 2 };

// Room of the command buffer: the longest line the input reader delivers
// whole (a "position" line of a long game) and its terminator.
const size_t COMMAND_SIZE = INPUT_LINE_MAX + 1;
// Room of one formatted protocol line, terminator included.
const size_t OUTPUT_SIZE = 4096;
// Room of the opening book's file name, terminator included.
const size_t BOOK_NAME_SIZE = 256;

// Default file name of the opening book.
extern const char* const DEFAULT_BOOK_NAME;

// ---- front-end state (the WinBoard-only part is in winboard.h) ----
extern ChessBoardUCI* board;  // the engine object, once a protocol is chosen
extern char* command;         // the line being handled (COMMAND_SIZE bytes)
extern int guiMode;           // GUI_NONE, GUI_UCI or GUI_WINBOARD
extern int Quit;              // set to end the command loop
extern char ownbook[BOOK_NAME_SIZE];
extern int useownbook;        // the user switched the opening book on
extern int pondering;         // the user interface allows pondering
extern int pondernextmove;    // the running (or last) think is a ponder search
extern ChessMove movePonder;  // the reply the engine expects and ponders on
extern int asknewgame;        // a new game waits for the running think to end
extern int showthinking;      // thinking output on

// Reads one line (a line kept back during a think comes first once no think
// runs) and dispatches it. 0 when no line could be read: the end of input,
// which is handled as "quit"; 1 otherwise.
int parseCommand();

// First non-empty line: "uci" or "xboard" chooses the protocol (1); any
// other line asks the program to end (0).
int parseWaitGUI(char* line);

// Formats one protocol line and writes it with its newline to standard output.
void sendCommand(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Reads one line of standard input into buffer (at most size - 1
// characters, line end removed). 1, or 0 at the end of input.
int getCommand(char* buffer, int size);

// True while the engine object runs a think.
bool thinkRunning();

// Keeps a line that may not run during a think; it runs, in arrival order,
// once the think has returned. A line that finds the store full is dropped.
void deferCommand(const char* line);
