// The WinBoard/xboard command handler.
//
// Commands are matched in a fixed order, as a whole line or as a keyword at
// the start of the line; numbers follow the first blank. Unknown lines are
// ignored without a reply.
//
// The engine keeps both clocks itself: "time" always gives the engine's
// clock and "otim" the opponent's, whoever is on move, and both are written
// into the engine object just before each think, together with the moves to
// go of the time control.
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
#include "engine/clock.h"
#include "protocol/chessboarduci.h"
#include "protocol/commandloop.h"
#include "protocol/commandtext.h"
#include "protocol/config.h"
#include "protocol/reports.h"

char pondernewmove[8];
int firstThink = 0;
int uciMaxGameMoves = 0;
int uciRemainingMoves = 0;
int countHalfMove = 0;
int winboard_forcemode = 0;

namespace {

const char* const CONFIG_FILE = "quarvel.ini";
const char* const CONFIG_SECTION = "Engine";
// Transposition-table size (MB) when quarvel.ini does not give one.
const int DEFAULT_HASH_MB = 128;
// Room of the base-time field of "level".
const size_t FIELD_SIZE = 264;
// Room of a user move text: four coordinates, a promotion letter, the
// terminator.
const size_t USER_MOVE_SIZE = 8;

// The clocks of the engine and of its opponent, milliseconds.
long long engineClockMs = 0;
long long opponentClockMs = 0;
// Since when the engine's clock has been running for the think under way:
// from the start of a think on its own move, or from a ponder hit.
bool engineClockRunning = false;
TimeOfDay engineClockStart;

// Analysis mode, and the search mode it replaced.
bool analyzing = false;
int modeBeforeAnalysis = MODE_MOVETIME;

// What follows the last think, and the game position it was noted in.
WinboardFollowUp followUp = FOLLOW_NOTHING;
u32 followUpIndex = 0;
u64 followUpKey = 0;

bool isSquare(const char* text) {
  return text[0] >= 'a' && text[0] <= 'h' && text[1] >= '1' && text[1] <= '8';
}

// Promotion piece of a move text's fifth character: 0 for none, -1 for a
// letter that names no promotion piece.
int promotionOf(const char* text) {
  switch (text[4]) {
    case '\0': return 0;
    case 'n': return KNIGHT;
    case 'b': return BISHOP;
    case 'r': return ROOK;
    case 'q': return QUEEN;
    default: return -1;
  }
}

// The move text names move: same squares, same promotion piece.
bool sameMove(const char* text, ChessMove move) {
  unsigned from = static_cast<unsigned>((text[0] - 'a') + 8 * (text[1] - '1'));
  unsigned to = static_cast<unsigned>((text[2] - 'a') + 8 * (text[3] - '1'));
  return move.from() == from && move.to() == to &&
         promotionOf(text) == static_cast<int>(move.promotion());
}

void cancelFollowUp() { followUp = FOLLOW_NOTHING; }

bool ponderSearchRunning() { return thinkRunning() && board->ponderSearch; }
bool analysisRunning() { return thinkRunning() && analyzing; }

// Ends a running ponder search as a ponder miss with no user move to play:
// the pondered move is taken back and nothing is sent.
void dropPonderSearch() {
  pondernewmove[0] = '\0';
  board->stopSearch = STOP_PONDER;
}

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

// Restores a search mode with the limit it had.
void restoreSearchMode(int mode) {
  int value = 0;
  if (mode == MODE_DEPTH) value = board->depthLimit;
  if (mode == MODE_MOVETIME) value = static_cast<int>(clampNumber(board->moveTime, 0, INT_MAX));
  board->setEngineSearchMode(mode, value, 0);
}

// Plays a user move. A refused move is answered with "Illegal move" and
// changes nothing. Unless the engine is in force mode or analysing, or has
// no legal move left, it thinks and answers with its move.
void playUserMove(const char* text) {
  char move[USER_MOVE_SIZE];
  snprintf(move, sizeof move, "%s", text);
  if (!board->setMoveSquare(move)) {
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

// ---- the commands ----

// "xboard": a fresh engine object with the settings of quarvel.ini, and the
// feature line.
void setUpEngine() {
  int size = DEFAULT_HASH_MB;
  ReadFileConfigInt(CONFIG_FILE, CONFIG_SECTION, "Hash", &size);
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

  sendCommand("feature setboard=1 myname=\"Quarvel %s\" analyze=1 ping=1 draw=0 sigint=0 "
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

// "easy": pondering off. A running ponder search ends as a ponder miss; a
// normal think moves at once; an analysis goes on.
void easyCommand() {
  pondering = 0;
  board->ponderEnabled = 0;
  board->ponderMove = EmptyMove;
  movePonder = EmptyMove;
  if (followUp == FOLLOW_PONDER) cancelFollowUp();
  if (!thinkRunning()) {
    board->ponderSearch = 0;
  } else if (board->ponderSearch) {
    dropPonderSearch();
  } else if (!analyzing) {
    board->stopSearch = STOP_PLAY;
  }
}

// "force": the engine plays neither side. A running think ends without a
// move: a ponder search as a ponder miss, a think on the engine's move
// aborted. An analysis goes on.
void forceCommand() {
  winboard_forcemode = 1;
  if (followUp == FOLLOW_PONDER) cancelFollowUp();
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
  if (board->countLegalMoves() == 0) {
    Log::print("no possible legal moves...");
    return;
  }
  startThink(0);
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
  board->divide(&board->currentNode,
                intAfterBlank(line), 0);
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

int cmdSd(char* line) {
  board->setEngineSearchMode(
      MODE_DEPTH, intAfterBlank(line), 0);
  return 1;
}

int cmdLevel(char* line) {
  levelCommand(line);
  return 1;
}

int cmdSetboard(char* line) {
  if (!board->setFENPosition(strchr(line, ' ') + 1)) Log::print("Bad FEN string !");
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
  if (analyzing && board->countLegalMoves() > 0) {
    board->setEngineSearchMode(MODE_INFINITE, 0, 0);
    startThink(0);
    return 1;
  }
  return 0;
}

int parseWinboard(char* line) {
  const Command* found = findCommand(line);   // the command of the line, if any
  bool move = found == nullptr && isWinboardMoveText(line);

  // 1. Before "xboard" there is no engine object: only "xboard" and "quit"
  //    mean anything.
  if (!board && !(found && (found->handler == cmdXboard || found->handler == cmdQuit)))
    return 1;

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
