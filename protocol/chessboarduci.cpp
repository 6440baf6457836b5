// Callbacks of the front-end's engine object: the engine's protocol output.
//
// Every move written (principal variation, current move, best move, expected
// reply) is a legal move of the position it is played in, in coordinate
// text with the promotion letter where it promotes: a line is cut before
// its first move that is not legal, and a move is written only when the
// think really chose it.
#include "protocol/chessboarduci.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include "engine/bitboard.h"
#include "protocol/commandloop.h"
#include "protocol/reports.h"
#include "protocol/winboard.h"

namespace {

// Room of the console principal-variation text, terminator included.
const size_t CONSOLE_PV_SIZE = 256;

// Index of the game record when the running think started: the think has
// played a move when the index has grown by one at its end.
u32 thinkStartIndex = 0;

}  // namespace

void coordinateText(ChessMove move, char* out) {
  if (move == 0) {
    strcpy(out, "0000");
    return;
  }
  out[0] = static_cast<char>('a' + (move.from() & 7));
  out[1] = static_cast<char>('1' + (move.from() >> 3));
  out[2] = static_cast<char>('a' + (move.to() & 7));
  out[3] = static_cast<char>('1' + (move.to() >> 3));
  out[4] = move.promotion() ? pieceName[move.promotion()] : '\0';
  out[5] = '\0';
}

void coordinateLineText(const PLine& line, u32 length, char* out) {
  size_t used = 0;
  out[0] = '\0';
  for (u32 i = 0; i < length && i < MAX_PLY; i++) {
    coordinateText(line.moves[i].move, out + used);
    used += strlen(out + used);
    out[used++] = ' ';
    out[used] = '\0';
  }
}

namespace {

// Number of moves at the start of line that are legal one after the other
// from the position of node: each is one of the moves generated for its
// position and does not leave its own king in check. The node is left as
// it was.
u32 legalLineLength(ChessBoardNode& node, const PLine& line) {
  const u8 state = node.nodeState;
  const u32 count = line.count < MAX_PLY ? line.count : MAX_PLY;
  ChessMoveSort list[MAX_MOVES];
  u32 made = 0;
  while (made < count && node.canMakeMove()) {
    const ChessMove move = line.moves[made].move;
    unsigned generated = 0;
    node.generateMoves(list, &generated, node.inCheck());
    bool listed = false;
    for (unsigned i = 0; i < generated && !listed; i++) listed = list[i].move == move;
    if (!listed) break;
    if (!node.makeMove(move)) {
      node.unMakeMove(move);
      break;
    }
    made++;
  }
  for (u32 i = made; i > 0; i--) node.unMakeMove(line.moves[i - 1].move);
  node.nodeState = state;
  return made;
}

bool legalMove(ChessBoardNode& node, ChessMove move) {
  PLine line;
  line.moves[0].move = move;
  line.count = 1;
  return legalLineLength(node, line) == 1;
}

// The console thinking line of a test-suite run.
void printConsoleLine(ChessBoard& engine, int depth, int score, const PLine& pv, u32 length,
                      unsigned long long nodes, double us) {
  char pvText[CONSOLE_PV_SIZE];
  size_t used = 0;
  pvText[0] = '\0';
  for (u32 i = 0; i < length; i++) {
    char text[ALGEBRAIC_TEXT_SIZE];
    pv.moves[i].move.text(text);
    size_t n = strlen(text);
    if (used + n + 1 >= sizeof pvText) break;  // whole moves only
    memcpy(pvText + used, text, n);
    used += n;
    pvText[used++] = ' ';
    pvText[used] = '\0';
  }

  long long ms = static_cast<long long>(us * 0.001);
  char timeText[32];
  snprintf(timeText, sizeof timeText, "%02d:%02d:%03d", static_cast<int>(ms / 60000),
           static_cast<int>(ms % 60000 / 1000), static_cast<int>(ms % 1000));
  float speed = us > 0 ? static_cast<float>(nodes * 1000.0 / us) : 0.0f;

  if (score < -MATE_REPORT_SCORE) {
    printf("%2d -M%d %s %8llu %.2f %s\n", depth, engine.calcMateValue(score), timeText, nodes,
           speed, pvText);
  } else if (score > MATE_REPORT_SCORE) {
    printf("%2d +M%d %s %8llu %.2f %s\n", depth, engine.calcMateValue(score), timeText, nodes,
           speed, pvText);
  } else {
    float pawns = score * 0.01f;
    if (score < 0)
      printf("%2d %.2f %s %8llu %.2f %s\n", depth, pawns, timeText, nodes, speed, pvText);
    else
      printf("%2d +%.2f %s %8llu %.2f %s\n", depth, pawns, timeText, nodes, speed, pvText);
  }
  // The line leaves at once, also when standard output is a pipe or a
  // file, so that a long think shows its progress as the perft rows do.
  fflush(stdout);
}

// The UCI "info" line of a finished iteration.
void sendInfoLine(ChessBoard& engine, int depth, int score, const PLine& pv, u32 length,
                  unsigned long long nodes, double us) {
  char pvText[LINE_TEXT_SIZE];
  coordinateLineText(pv, length, pvText);

  double ms = us * 0.001;
  int time = ms < INT_MAX ? static_cast<int>(ms) : INT_MAX;
  double speed = us > 0 ? nodes * 1000000.0 / us : 0;
  int nps = speed < INT_MAX ? static_cast<int>(speed) : INT_MAX;

  if (score < -MATE_REPORT_SCORE || score > MATE_REPORT_SCORE) {
    int moves = engine.calcMateValue(score);
    sendCommand("info depth %d score mate %d time %d nodes %llu nps %d pv %s", depth,
                score < 0 ? -moves : moves, time, nodes, nps, pvText);
  } else {
    sendCommand("info depth %d score cp %d time %d nodes %llu nps %d pv %s", depth, score, time,
                nodes, nps, pvText);
  }
}

}  // namespace

void ChessBoardUCI::draw(int, int) {}

void ChessBoardUCI::onPromotionMode() {}

void ChessBoardUCI::onComputerStartPlaying() { thinkStartIndex = curMoveIndex; }

void ChessBoardUCI::onComputerFinishPlaying(int stopCode) {
  // 1. An aborted think played nothing and writes nothing. A new game asked
  //    for during it is set up now that the search has unwound.
  if (stopCode == STOP_ABORT) {
    if (asknewgame) {
      asknewgame = 0;
      newGame();
      movesToGo = DEFAULT_MOVES_PER_CONTROL;
      resetWinboardCounters();
    }
    return;
  }

  // 2. A ponder search stopped with its pondered move taken back played
  //    nothing. (A UCI "stop" ends a ponder search as a normal think.)
  if (stopCode == STOP_PONDER) {
    if (guiMode == GUI_WINBOARD) winboardPonderStopped();
    return;
  }

  // 3. The engine's move: the move the think played; when it could not be
  //    recorded (a full game record), the first legal move of the think's
  //    latest line or else of its last finished iteration's line; none when
  //    the position has no move ("0000").
  bool played = curMoveIndex == thinkStartIndex + 1 && lastMove != 0;
  ChessMove move = lastMove;
  if (!played) {
    move = 0;
    for (const PLine* line : {&currentNode.pvLines[0], &savedPV}) {
      if (line->count > 0 && legalMove(currentNode, line->moves[0].move)) {
        move = line->moves[0].move;
        break;
      }
    }
  }
  char moveText[MOVE_TEXT_SIZE];
  coordinateText(move, moveText);

  // 4. The expected reply, legal after the move played.
  char ponderText[MOVE_TEXT_SIZE + 8] = "";
  movePonder = EmptyMove;
  if (pondering && played && ponderMove && legalMove(currentNode, ponderMove)) {
    movePonder = ponderMove;
    char reply[MOVE_TEXT_SIZE];
    coordinateText(movePonder, reply);
    snprintf(ponderText, sizeof ponderText, " ponder %s", reply);
  }

  if (testSuiteMode) return;
  if (guiMode == GUI_UCI) sendCommand("bestmove %s%s", moveText, ponderText);
  if (guiMode == GUI_WINBOARD && played) winboardMovePlayed(moveText);
}

void ChessBoardUCI::onNextPlayer() {}

int ChessBoardUCI::onComputerThinkPV(int depth, PLine& pv, unsigned long long nodes,
                                     double microseconds) {
  if (!showthinking) return 0;
  int score = pv.moves[0].score;
  u32 length = legalLineLength(currentNode, pv);
  if (testSuiteMode) {
    printConsoleLine(*this, depth, score, pv, length, nodes, microseconds);
  } else if (guiMode == GUI_UCI) {
    sendInfoLine(*this, depth, score, pv, length, nodes, microseconds);
  } else if (guiMode == GUI_WINBOARD) {
    winboardThinkingLine(depth, score, pv, length, nodes, microseconds);
  }
  return 1;
}

void ChessBoardUCI::onComputerClearPV() {}

void ChessBoardUCI::onUpdateBoard() {}

void ChessBoardUCI::onMateFound(int, int) {}

int ChessBoardUCI::onParseInputCommand() { return parseCommand(); }

void ChessBoardUCI::onSearchRootMove(ChessMove move, int number) {
  if (!showthinking || guiMode != GUI_UCI) return;
  char text[MOVE_TEXT_SIZE];
  coordinateText(move, text);
  sendCommand("info currmove %s currmovenumber %d", text, number);
}

void ChessBoardUCI::doPerft(int depth) { printPerftTable(this, depth); }
