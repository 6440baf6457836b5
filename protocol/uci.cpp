// The UCI command handler: identification and options, positions, limits,
// and the think that answers "go". Commands are matched exactly and
// case-sensitively, as a whole line or as a keyword at the start of the
// line, on lines whose tokens the command loop has put one blank apart;
// their numbers follow the next blank. Option names and the values
// "true"/"false" are read in any case, as the protocol has them. Unknown
// lines are ignored.
#include "protocol/uci.h"

#include <strings.h>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "engine/log.h"
#include "protocol/chessboarduci.h"
#include "protocol/commandloop.h"
#include "protocol/commandtext.h"
#include "protocol/reports.h"

namespace {

// Room of a numeric value of "go" and of a FEN, terminator included.
const size_t VALUE_SIZE = 256;
// Fixed time per move of a new game (microseconds), the mode a "go"
// without a mode falls back on rather than carrying an infinite search on.
const int NEW_GAME_MOVE_TIME = 5000000;

// The last "position" line was refused (its FEN or one of its moves): the
// engine does not have the user interface's position, and answers "go"
// with no move until a "position" line sets one up.
bool positionRefused = false;

// The value of a "go" keyword: the text from value up to the next blank
// (at most VALUE_SIZE - 1 characters), read as a decimal number.
long long readGoValue(const char* value) {
  char text[VALUE_SIZE];
  size_t length = strcspn(value, " ");
  if (length > sizeof text - 1) length = sizeof text - 1;
  memcpy(text, value, length);
  text[length] = '\0';
  return readNumber(text);
}

// Commands that change the board or the tables, or start a think: while a
// think runs they wait for its end.
bool waitsForThink(const char* line) {
  return strcmp(line, "uci") == 0 || startsWith(line, "perft") || startsWith(line, "divide") ||
         startsWithWord(line, "go") || startsWithWord(line, "position") ||
         startsWith(line, "setoption ");
}

// "uci": identification, a fresh engine object with the default options,
// "uciok". The engine object of an earlier "uci" is released.
void startUCI() {
  sendCommand("id name Quarvel %s", QUARVEL_VERSION);
  sendCommand("id author Yorin TASSEVAL");
  sendCommand("option name Hash type spin default %d min 4 max 4096", UCI_DEFAULT_HASH_MB);
  sendCommand("option name Ponder type check default false");
  sendCommand("option name OwnBook type check default false");
  sendCommand("option name Book File type string default %s", DEFAULT_BOOK_NAME);

  if (board) {
    board->free();
    delete board;
    board = nullptr;
  }
  pondering = 0;
  pondernextmove = 0;
  movePonder = EmptyMove;
  asknewgame = 0;
  useownbook = 0;
  positionRefused = false;
  strcpy(ownbook, DEFAULT_BOOK_NAME);

  board = new ChessBoardUCI();
  board->init(UCI_DEFAULT_HASH_MB);
  board->newGame();
  sendCommand("uciok");
}

// Plays the blank-separated moves of list in order; stops at the first move
// that is refused, so that no later move is played in a wrong position, and
// tells the user interface which one it was. Returns 1 when every move was
// played.
int playMoveList(const char* list) {
  char move[8];
  for (const char* p = list;;) {
    while (*p == ' ') p++;
    if (*p == '\0') return 1;
    size_t length = strcspn(p, " ");
    if (length >= sizeof move) {
      // No move text is this long (the head of a line cut by the input
      // reader may end in such a token): refused without echoing it.
      Log::print("bad move !?");
      positionRefused = true;
      return 0;
    }
    memcpy(move, p, length);
    move[length] = '\0';
    if (!board->setMoveSquare(move)) {
      Log::print("bad move !?");
      sendCommand("info string refused move: %s", move);
      positionRefused = true;
      return 0;
    }
    p += length;
  }
}

// Tells the user interface that the position of a "position" line was
// refused (text: the FEN, or whatever stands in place of the base position,
// length characters of it); the next "go" is answered with no move.
void refusePosition(const char* text, size_t length) {
  Log::print("Bad FEN string !");
  int shown = static_cast<int>(length);
  while (shown > 0 && text[shown - 1] == ' ') shown--;
  sendCommand("info string refused FEN: %.*s", shown, text);
  positionRefused = true;
}

// The token "moves" in text, or null when there is none.
const char* findMovesToken(const char* text) {
  for (const char* p = text; (p = strstr(p, "moves")) != nullptr; p++) {
    if ((p == text || p[-1] == ' ') && startsWithWord(p, "moves")) return p;
  }
  return nullptr;
}

// The moves after the token "moves" of a position line.
const char* movesAfter(const char* token) { return token[5] == ' ' ? token + 6 : token + 5; }

// Ends the running think as "stop" does: it plays its best move and
// "bestmove" reports it. A stopped ponder search ends as a normal one, in
// the position the user interface sent. An abort under way is not turned
// into a stop.
void stopThink() {
  if (board->stopSearch != STOP_NONE) return;
  board->ponderSearch = 0;
  board->stopSearch = STOP_PLAY;
}

// The value of a "setoption" line whose option name (the text after
// "name ") is option, in any case, followed by " value ": the text after
// it; null for another option.
const char* optionValue(const char* name, const char* option) {
  size_t length = strlen(option);
  if (strncasecmp(name, option, length) != 0 || !startsWith(name + length, " value "))
    return nullptr;
  return name + length + 7;
}

// Loads the book named by ownbook, telling the user when it cannot.
void loadBook() {
  if (!board->loadOpeningBook(ownbook)) sendCommand("info string book file not found");
}

}  // namespace

int parseUCI(char* line) {
  // 0. "quit": an abort of the running think; the caller ends the loop.
  if (strcmp(line, "quit") == 0) {
    if (!board) return 0;
    pondering = 0;
    movePonder = EmptyMove;
    if (board->computerThinking) board->stopSearch = STOP_ABORT;
    return 0;
  }

  // A running think is not disturbed by commands that change the board or
  // the tables: they are kept, in order, for the end of the think.
  if (thinkRunning() && waitsForThink(line)) {
    deferCommand(line);
    return 1;
  }

  if (strcmp(line, "uci") == 0) {
    startUCI();
  } else if (strcmp(line, "isready") == 0) {
    sendCommand("readyok");
  } else if (strcmp(line, "ucinewgame") == 0) {
    // During a think: it ends with its "bestmove", as on "stop", and the
    // line runs again, ahead of the lines after it, once the think is over.
    if (board) {
      movePonder = EmptyMove;
      if (board->computerThinking) {
        stopThink();
        deferCommand(line);
      } else {
        board->newGame();
      }
    }
  } else if (strcmp(line, "stop") == 0) {
    if (board && board->computerThinking) stopThink();
  } else if (strcmp(line, "ponderhit") == 0) {
    // The ponder search goes on as the real think; the forced poll applies
    // its limits at once.
    if (board && board->computerThinking && board->ponderSearch) {
      board->ponderSearch = 0;
      board->pollCounter = board->pollPeriod;
      board->checkSearchTime();
    }
  } else if (startsWith(line, "perft")) {
    if (board && strchr(line, ' ')) printPerftTable(board, intAfterBlank(line));
  } else if (startsWith(line, "divide")) {
    if (board && strchr(line, ' ')) {
      board->divide(&board->currentNode, intAfterBlank(line), 0);
      printDivideList();
    }
  } else if (startsWithWord(line, "go")) {
    // The whole think runs here and writes its "bestmove" before it
    // returns, also for a "go" without limits. A nested command may
    // overwrite line meanwhile. Without the user interface's position there
    // is nothing to search: no move.
    if (board && positionRefused) {
      sendCommand("bestmove 0000");
    } else if (board) {
      parseGoUCI(line);
      Log::print(2, board->currentNode.sideToMove == WHITE ? "WHITE to play" : "BLACK to play");
      if (pondernextmove) board->ponderEnabled = 1;
      board->computerPlay(pondernextmove);
    }
  } else if (startsWith(line, "debug ")) {
    // accepted, no effect
  } else if (startsWithWord(line, "position")) {
    if (board) parsePosition(line);
  } else if (startsWith(line, "setoption ")) {
    if (board) parseOptionUCI(line);
  }
  return 1;
}

int parseGoUCI(char* line) {
  // 1. Nothing of the previous "go" but its search mode carries over.
  pondernextmove = 0;
  board->movesToGo = 0;
  board->timeIncrement[BLACK] = 0;
  board->timeIncrement[WHITE] = 0;
  bool modeGiven = false;
  bool infinite = false;

  // 2. Tokens after the first blank, if any. A value keyword reads the text
  //    after its blank up to the next blank; the scan then resumes after the
  //    next blank that follows the value, or, for any other token, after the
  //    next blank that follows the token's start. "infinite" wins over the
  //    clock keywords of its line, before or after it; otherwise the last
  //    mode keyword sets the mode.
  const char* p = strchr(line, ' ');
  while (p) {
    p++;
    const char* value = nullptr;
    if (startsWith(p, "infinite")) {
      board->setEngineSearchMode(MODE_INFINITE, 0, 0);
      modeGiven = true;
      infinite = true;
    } else if (startsWith(p, "ponder")) {
      pondernextmove = 1;
    } else if (startsWith(p, "depth ")) {
      value = p + 6;
      board->setEngineSearchMode(
          MODE_DEPTH, static_cast<int>(clampNumber(readGoValue(value), INT_MIN, INT_MAX)), 0);
      modeGiven = true;
    } else if (startsWith(p, "nodes ")) {
      value = p + 6;
      board->setEngineSearchMode(MODE_NODES, 0, 0);
      board->nodeLimit = static_cast<u64>(clampNumber(readGoValue(value), 0, LLONG_MAX));
      modeGiven = true;
    } else if (startsWith(p, "movetime ")) {
      value = p + 9;
      long long ms = clampNumber(readGoValue(value), 0, LLONG_MAX / 1000);
      board->setEngineSearchMode(MODE_MOVETIME, 0, 0);
      board->moveTime = static_cast<u32>(clampNumber(ms * 1000, 0, UINT32_MAX));
      modeGiven = true;
    } else if (startsWith(p, "movestogo ")) {
      value = p + 10;
      board->movesToGo = static_cast<i32>(clampNumber(readGoValue(value), 0, INT_MAX));
      if (!infinite) board->setEngineSearchMode(MODE_CLOCK, 0, 0);
      modeGiven = true;
    } else if (startsWith(p, "wtime ") || startsWith(p, "btime ")) {
      value = p + 6;
      int side = p[0] == 'w' ? WHITE : BLACK;
      board->remainingTime[side] =
          static_cast<float>(clampNumber(readGoValue(value), 0, LLONG_MAX));
      if (!infinite) board->setEngineSearchMode(MODE_CLOCK, 0, 0);
      modeGiven = true;
    } else if (startsWith(p, "winc ") || startsWith(p, "binc ")) {
      value = p + 5;
      int side = p[0] == 'w' ? WHITE : BLACK;
      board->timeIncrement[side] = static_cast<i32>(clampNumber(readGoValue(value), 0, INT_MAX));
    }
    p = strchr(value ? value : p, ' ');
  }

  // 3. Without a mode keyword the previous mode stays, except an infinite
  //    search, which only an explicit "infinite" may start.
  if (!modeGiven && board->searchMode == MODE_INFINITE)
    board->setEngineSearchMode(MODE_MOVETIME, NEW_GAME_MOVE_TIME, 0);
  return 1;
}

int parsePosition(char* line) {
  const char* blank = strchr(line, ' ');
  const char* text = blank ? blank + 1 : "";

  // 1. A FEN up to the token "moves", then the moves.
  if (startsWithWord(text, "fen")) {
    const char* fenStart = text[3] == ' ' ? text + 4 : text + 3;
    const char* moves = findMovesToken(fenStart);
    size_t length = moves ? static_cast<size_t>(moves - fenStart) : strlen(fenStart);
    char fen[VALUE_SIZE];
    if (length < sizeof fen) {
      memcpy(fen, fenStart, length);
      fen[length] = '\0';
    }
    if (length >= sizeof fen || !board->setFENPosition(fen)) {
      refusePosition(fenStart, length);
      return 0;
    }
    positionRefused = false;
    return moves ? playMoveList(movesAfter(moves)) : 1;
  }

  // 2. The start position, then the moves.
  if (startsWithWord(text, "startpos")) {
    board->setFENPosition(START_FEN);
    positionRefused = false;
    if (startsWithWord(text + 8, " moves")) return playMoveList(movesAfter(text + 9));
    return 1;
  }

  // 3. No base position: refused as a FEN that cannot be read.
  refusePosition(text, strlen(text));
  return 0;
}

int parseOptionUCI(char* line) {
  // "setoption name <name> value <value>".
  const char* blank = strchr(line, ' ');
  if (!blank || !startsWith(blank + 1, "name ")) return 0;
  const char* name = blank + 6;
  const char* value;

  if ((value = optionValue(name, "Hash"))) {
    // Held to what the table accepts; only the table is built again.
    long long size = clampNumber(readNumber(value), HASH_MIN_MB, HASH_MAX_MB);
    board->init(static_cast<unsigned int>(size));
    return 1;
  }
  if ((value = optionValue(name, "Ponder"))) {
    // Only the flags: "go ponder" starts a ponder search.
    if (strcasecmp(value, "true") == 0) {
      pondering = 1;
      board->ponderEnabled = 1;
    } else {
      pondering = 0;
      board->ponderEnabled = 0;
      board->ponderSearch = 0;
      board->ponderMove = EmptyMove;
    }
    return 1;
  }
  if ((value = optionValue(name, "OwnBook"))) {
    if (strcasecmp(value, "true") == 0) {
      useownbook = 1;
      loadBook();
    } else {
      useownbook = 0;
      board->unloadOpeningBook();
    }
    return 1;
  }
  if ((value = optionValue(name, "Book File"))) {
    strncpy(ownbook, value, sizeof ownbook - 1);
    ownbook[sizeof ownbook - 1] = '\0';
    if (useownbook) loadBook();
    return 1;
  }
  return 0;
}
