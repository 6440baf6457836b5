// The WinBoard/xboard command handler: the command table, the commands and
// the handling of a line during a think. The clocks and "level"
// (winboard_clock.cpp), the follow-ups of a think (winboard_followup.cpp)
// and the ponder chain (winboard_ponder.cpp) have files of their own.
//
// Commands are matched in a fixed order, as a whole line or as a keyword at
// the start of the line; numbers follow the first blank. Unknown lines are
// ignored without a reply.
//
// While a think runs, lines reach this handler from inside the search. Only
// the commands that are safe there act at once; every other line is kept
// back for the end of the think. A ponder search or an analysis would never
// end by itself, so a line kept back during one of them also ends it: the
// ponder search as a ponder miss (its pondered move is taken back and
// nothing is sent), the analysis silently, to be started again on the new
// position.
#include "protocol/winboard.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/log.h"
#include "protocol/chessboarduci.h"
#include "protocol/commandloop.h"
#include "protocol/commandtext.h"
#include "protocol/config.h"
#include "protocol/reports.h"
#include "protocol/winboard_parts.h"

using namespace winboard;

char pondernewmove[8];
int firstThink = 0;
int uciMaxGameMoves = 0;
int uciRemainingMoves = 0;
int countHalfMove = 0;
int winboard_forcemode = 0;

namespace winboard {
bool analyzing = false;
bool positionRefused = false;
}  // namespace winboard

namespace {

const char* const CONFIG_FILE = "quarvel.ini";
const char* const CONFIG_SECTION = "Engine";
// Transposition-table size (MB) when quarvel.ini does not give one.
const int DEFAULT_HASH_MB = 128;

// The search mode that analysis mode replaced.
int modeBeforeAnalysis = MODE_MOVETIME;

bool isSquare(const char* text) {
  return text[0] >= 'a' && text[0] <= 'h' && text[1] >= '1' && text[1] <= '8';
}

bool analysisRunning() { return thinkRunning() && analyzing; }

// Keeps a line for the end of the running think. A ponder search or an
// analysis, which would not end by itself, is ended for it.
void keepForLater(const char* line) {
  deferCommand(line);
  if (board->stopSearch != STOP_NONE) return;
  if (board->ponderSearch)
    dropPonderSearch();
  else if (analyzing)
    board->stopSearch = STOP_ABORT;
}

// The front-end's counters and clocks of a new game.
void resetGameState() {
  resetWinboardCounters();
  engineClockMs = opponentClockMs = board->initialTime;
  cancelFollowUp();
}

// Restores a search mode with the limit it had.
void restoreSearchMode(int mode) {
  int value = 0;
  if (mode == MODE_MOVETIME) value = static_cast<int>(clampNumber(board->moveTime, 0, INT_MAX));
  board->setEngineSearchMode(mode, value, 0);
}

// ---- the commands ----

// "xboard": a fresh engine object with the settings of quarvel.ini, and the
// feature line.
void setUpEngine() {
  int size = DEFAULT_HASH_MB;
  ReadFileConfigInt(CONFIG_FILE, CONFIG_SECTION, "Hash", &size);
  // The user interface waits only a short while for the features. A table
  // above the default size may take the system a moment to provide (memory
  // to be committed, or short, so that a smaller table must be taken): ask
  // it to wait until the full feature line ends with done=1.
  if (size > DEFAULT_HASH_MB) sendCommand("feature done=0");
  if (board) {
    board->free();
    delete board;
  }
  board = new ChessBoardUCI();
  board->init(static_cast<unsigned int>(clampNumber(size, 0, INT_MAX)));
  board->newGame();

  pondering = 0;
  pondernextmove = 0;
  movePonder = EmptyMove;
  pondernewmove[0] = '\0';
  asknewgame = 0;
  analyzing = false;
  positionRefused = false;
  resetGameState();
  board->movesToGo = DEFAULT_MOVES_PER_CONTROL;

  // The book, when quarvel.ini switches it on; without a file name the
  // default one is used.
  int book = 0;
  ReadFileConfigInt(CONFIG_FILE, CONFIG_SECTION, "Book", &book);
  if (book == 1) {
    char name[BOOK_NAME_SIZE];
    snprintf(name, sizeof name, "%s", ownbook);
    ReadFileConfigString(CONFIG_FILE, CONFIG_SECTION, "BookFile", name);
    useownbook = 1;
    snprintf(ownbook, sizeof ownbook, "%s", name);
    board->loadOpeningBook(ownbook);
  } else {
    useownbook = 0;
    board->unloadOpeningBook();
  }
  winboard_forcemode = 0;

  sendCommand(
      "feature setboard=1 myname=\"Quarvel %s\" analyze=1 ping=1 draw=0 sigint=0 "
      "variants=\"normal\" done=1 colors=0",
      QUARVEL_VERSION);
}

// "new": the start position and the defaults of a game; during a think the
// game is set up once the think has been aborted.
void newGameCommand() {
  pondering = 0;
  board->ponderEnabled = 0;
  board->ponderSearch = 0;
  board->ponderMove = EmptyMove;
  movePonder = EmptyMove;
  pondernewmove[0] = '\0';
  positionRefused = false;
  if (board->computerThinking) {
    board->stopSearch = STOP_ABORT;
    asknewgame = 1;
  } else {
    board->newGame();
    board->movesToGo = DEFAULT_MOVES_PER_CONTROL;
  }
  resetGameState();
  winboard_forcemode = 0;
}

// "force": the engine plays neither side. A running think ends without a
// move: a ponder search as a ponder miss, a think on the engine's move
// aborted. An analysis goes on.
void forceCommand() {
  winboard_forcemode = 1;
  cancelPonderFollowUp();
  if (!thinkRunning() || analyzing) return;
  if (board->ponderSearch)
    dropPonderSearch();
  else
    board->stopSearch = STOP_ABORT;
}

// "?": move now. A ponder search has no move of the engine to play and is
// only given up; an analysis never plays a move.
void moveNowCommand() {
  if (!thinkRunning() || analyzing) return;
  if (board->ponderSearch)
    dropPonderSearch();
  else
    board->stopSearch = STOP_PLAY;
}

// "exit": leaves analysis mode; a running think ends silently.
void exitCommand() {
  if (thinkRunning()) {
    if (board->ponderSearch)
      dropPonderSearch();
    else
      board->stopSearch = STOP_ABORT;
  }
  if (analyzing) {
    analyzing = false;
    restoreSearchMode(modeBeforeAnalysis);
  }
}

// "analyze": the engine analyses the position, and every position that
// follows, until "exit"; the analysis itself is started by the command loop.
void analyzeCommand() {
  if (!analyzing) {
    modeBeforeAnalysis = board->searchMode;
    analyzing = true;
  }
  cancelFollowUp();
}

// "go": the engine plays the side to move, and thinks now.
void goCommand() {
  if (!firstThink) {
    firstThink = 1;
    Log::print("First Thinking in the game : nb halfmove = %d", countHalfMove);
  }
  winboard_forcemode = 0;
  cancelFollowUp();
  if (positionRefused) return;
  if (board->countLegalMoves() == 0) {
    Log::print("no possible legal moves...");
    return;
  }
  startThink(0);
}

// When a command may act while a think runs.
enum Timing {
  AT_ONCE,      // safe inside a search, or ignored
  AFTER_THINK,  // kept back for the end of the think
  PING          // at once while pondering or analysing, else after the think
};

enum Match { EXACT, PREFIX };

// Handlers get the line and return the handler's result (0: end the
// program).
typedef int (*Handler)(char* line);

struct Command {
  const char* word;
  Match match;
  Timing timing;
  Handler handler;
};

int ignore(char*) { return 1; }

int cmdQuit(char*) {
  if (board) {
    board->ponderEnabled = 0;
    board->ponderSearch = 0;
    board->ponderMove = EmptyMove;
    pondering = 0;
    if (board->computerThinking) board->stopSearch = STOP_ABORT;
  }
  analyzing = false;
  cancelFollowUp();
  return 0;
}

int cmdXboard(char*) {
  setUpEngine();
  return 1;
}

int cmdUndo(char*) {
  board->takeBack();
  cancelFollowUp();
  return 1;
}

// "remove": the user takes back his last move and the engine's reply.
int cmdRemove(char*) {
  board->takeBack();
  board->takeBack();
  cancelFollowUp();
  return 1;
}

int cmdForce(char*) {
  forceCommand();
  return 1;
}

int cmdAnalyze(char*) {
  analyzeCommand();
  return 1;
}

int cmdExit(char*) {
  exitCommand();
  return 1;
}

int cmdGo(char*) {
  goCommand();
  return 1;
}

int cmdMoveNow(char*) {
  moveNowCommand();
  return 1;
}

int cmdNew(char*) {
  newGameCommand();
  return 1;
}

int cmdEasy(char*) {
  easyCommand();
  return 1;
}

int cmdHard(char*) {
  pondering = 1;
  board->ponderEnabled = 1;
  return 1;
}

int cmdPost(char*) {
  showthinking = 1;
  return 1;
}

int cmdNoPost(char*) {
  showthinking = 0;
  return 1;
}

int cmdPerft(char* line) {
  board->doPerft(intAfterBlank(line));
  return 1;
}

int cmdDivide(char* line) {
  board->divide(&board->currentNode, intAfterBlank(line), 0);
  printDivideList();
  return 1;
}

int cmdTime(char* line) {
  engineClockMs = winboardClockMs(numberAfterBlank(line));
  return 1;
}

int cmdOtim(char* line) {
  opponentClockMs = winboardClockMs(numberAfterBlank(line));
  return 1;
}

int cmdPing(char* line) {
  sendCommand("pong %d", intAfterBlank(line));
  return 1;
}

int cmdSt(char* line) {
  long long seconds = clampNumber(numberAfterBlank(line), 0, INT_MAX / 1000000);
  board->setEngineSearchMode(MODE_MOVETIME, static_cast<int>(seconds * 1000000), 0);
  return 1;
}

// "sd N": no think of this game goes deeper than N plies; the time control
// stays in force ("st" and "level" keep the limit), and the think ends at
// whichever comes first. "new" lifts it.
int cmdSd(char* line) {
  board->maxDepth = intAfterBlank(line);
  return 1;
}

int cmdLevel(char* line) {
  levelCommand(line);
  return 1;
}

// A refused board is named in the reply, so that the user interface can
// tell it from the boards it sends on purpose to end an analysis.
int cmdSetboard(char* line) {
  char* fen = strchr(line, ' ') + 1;
  positionRefused = !board->setFENPosition(fen);
  if (positionRefused) {
    Log::print("Bad FEN string !");
    sendCommand("tellusererror Illegal position: %s", fen);
  }
  cancelFollowUp();
  return 1;
}

// In the order in which they are tested; the first match decides.
const Command COMMANDS[] = {
    {"quit", EXACT, AT_ONCE, cmdQuit},
    {"xboard", EXACT, AFTER_THINK, cmdXboard},
    {"undo", EXACT, AFTER_THINK, cmdUndo},
    {"remove", EXACT, AFTER_THINK, cmdRemove},
    {"white", EXACT, AT_ONCE, ignore},
    {"black", EXACT, AT_ONCE, ignore},
    {"force", EXACT, AT_ONCE, cmdForce},
    {"random", EXACT, AT_ONCE, ignore},
    {"result", EXACT, AT_ONCE, ignore},
    {"analyze", EXACT, AFTER_THINK, cmdAnalyze},
    {"exit", EXACT, AT_ONCE, cmdExit},
    {"setboard", EXACT, AT_ONCE, ignore},
    {"go", EXACT, AFTER_THINK, cmdGo},
    {"?", EXACT, AT_ONCE, cmdMoveNow},
    {".", EXACT, AT_ONCE, ignore},
    {"#", EXACT, AT_ONCE, ignore},
    {"new", EXACT, AT_ONCE, cmdNew},
    {"computer", EXACT, AT_ONCE, ignore},
    {"easy", EXACT, AT_ONCE, cmdEasy},
    {"hard", EXACT, AT_ONCE, cmdHard},
    {"post", EXACT, AT_ONCE, cmdPost},
    {"nopost", EXACT, AT_ONCE, cmdNoPost},
    {"accepted ", PREFIX, AT_ONCE, ignore},
    {"analyze", PREFIX, AT_ONCE, ignore},
    {"protover ", PREFIX, AT_ONCE, ignore},
    {"perft ", PREFIX, AFTER_THINK, cmdPerft},
    {"divide ", PREFIX, AFTER_THINK, cmdDivide},
    {"time ", PREFIX, AT_ONCE, cmdTime},
    {"otim ", PREFIX, AT_ONCE, cmdOtim},
    {"ping ", PREFIX, PING, cmdPing},
    {"st ", PREFIX, AFTER_THINK, cmdSt},
    {"sd ", PREFIX, AFTER_THINK, cmdSd},
    {"level ", PREFIX, AFTER_THINK, cmdLevel},
    {"setboard ", PREFIX, AFTER_THINK, cmdSetboard},
};

const Command* findCommand(const char* line) {
  for (const Command& c : COMMANDS) {
    if (c.match == EXACT ? strcmp(line, c.word) == 0 : startsWith(line, c.word)) return &c;
  }
  return nullptr;
}

}  // namespace

// A refused move, or any move while the position is refused, is answered
// with "Illegal move" and changes nothing; a move that leaves no legal move
// gets no think.
void winboard::playUserMove(const char* text) {
  char move[USER_MOVE_SIZE];
  snprintf(move, sizeof move, "%s", text);
  if (positionRefused || !board->setMoveSquare(move)) {
    Log::print("bad move !?");
    sendCommand("Illegal move: %s", text);
    return;
  }
  cancelFollowUp();
  if (board->countLegalMoves() == 0) {
    // Mate or stalemate: the user interface ends the game.
    Log::print("no possible legal moves...");
    return;
  }
  if (winboard_forcemode || analyzing) return;
  startThink(0);
}

void resetWinboardCounters() {
  uciRemainingMoves = DEFAULT_MOVES_PER_CONTROL;
  uciMaxGameMoves = DEFAULT_MOVES_PER_CONTROL;
  countHalfMove = 0;
  firstThink = 0;
}

bool isWinboardMoveText(const char* line) {
  size_t length = strlen(line);
  return (length == 4 || length == 5) && isSquare(line) && isSquare(line + 2);
}

int parseWinboard(char* line) {
  const Command* found = findCommand(line);  // the command of the line, if any
  bool move = found == nullptr && isWinboardMoveText(line);

  // 1. Before "xboard" there is no engine object: only "xboard" and "quit"
  //    mean anything.
  if (!board && !(found && (found->handler == cmdXboard || found->handler == cmdQuit))) return 1;

  // 2. During a think, what may not act now waits for its end. A user move
  //    acts now only in a ponder search on the expected reply.
  if (thinkRunning()) {
    bool now;
    if (move)
      now = ponderSearchRunning() && pondernextmove && pondering && movePonder != EmptyMove;
    else if (found && found->timing == PING)
      now = ponderSearchRunning() || analysisRunning();
    else
      now = found == nullptr || found->timing == AT_ONCE;
    if (!now) {
      keepForLater(line);
      return 1;
    }
  }

  // 3. The command, a user move, or an unknown line.
  if (found) return found->handler(line);
  if (move) {
    userMove(line);
    return 1;
  }
  Log::print("bad move found !!! : %s", line);
  return 1;
}
