// The think driver: one complete decision of the engine on the game
// position. It takes a move from the opening book or searches by iterative
// deepening in an aspiration window under the limits of the search mode,
// then plays the move, records it and reports it through the callbacks.
// Commands reach a running think only through the search-time check, which
// runs them nested inside the search.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "engine/chessboard.h"
#include "engine/input.h"
#include "engine/log.h"
#include "engine/search.h"
#include "engine/timecontrol.h"

namespace {

// Plies of the game record up to which the opening book is asked.
const u32 BOOK_PLY_LIMIT = 19;

// Sleeps without reading input.
void pause(long microseconds) {
  const timespec interval = {microseconds / 1000000, (microseconds % 1000000) * 1000};
  nanosleep(&interval, nullptr);
}

// Runs one root search and returns its duration in microseconds.
double timedRootSearch(ChessBoard& board, int depth, int alpha, int beta, int& score) {
  TimeOfDay start;
  readClock(start);
  score = board.searchRoot(depth, alpha, beta);
  return static_cast<double>(elapsedMicroseconds(start));
}

// Stores the saved line of the previous iteration in the transposition
// table along its own path, so that the next iteration searches it first:
// move i gets depth (iter - 1 - i) plies at the position it is played from.
// The walk ends at the first move that no longer fits the position.
void reinsertSavedLine(ChessBoard& board, int iter) {
  ChessBoardNode& node = board.currentNode;
  u32 n =
      board.savedPV.count < static_cast<u32>(iter) ? board.savedPV.count : static_cast<u32>(iter);
  u32 made = 0;
  for (u32 i = 0; i < n; i++) {
    ChessMove m = board.savedPV.moves[i].move;
    if (!node.validMove(m) || !node.canMakeMove()) break;
    node.hashTable.addNode(node.hashKey, m, (iter - 1 - static_cast<int>(i)) * ONE_PLY, HASH_EXACT,
                           board.savedPV.moves[i].score);
    bool legal = node.makeMove(m) != 0;
    made++;
    if (!legal) break;
  }
  while (made > 0) {
    made--;
    node.unMakeMove(board.savedPV.moves[made].move);
  }
}

// The first legal move of the game position, or 0 when it has none.
ChessMove firstLegalMove(ChessBoard& board) {
  ChessBoardNode& node = board.currentNode;
  board.buildLegalMoves();
  for (u32 i = 0; i < board.legalMoveCount; i++) {
    const ChessMove m = board.legalMoves[i].move;
    if (node.isLegalMove(m)) return m;
  }
  return 0;
}

// Plays the think's move on the game position and appends it to the game
// record with its short text, written against the moves of the position
// before the move. Returns false, playing nothing, when the move cannot be
// played.
bool playThinkMove(ChessBoard& board, ChessMove move) {
  ChessBoardNode& node = board.currentNode;
  if (!board.canRecordMove()) return false;
  board.buildLegalMoves();
  if (!node.makeMove(move)) {
    node.unMakeMove(move);
    return false;
  }
  board.recordMove(move);
  char text[ALGEBRAIC_TEXT_SIZE];
  move.textShort(text, board.legalMoves, board.legalMoveCount);
  GameRecordEntry& entry = board.gameRecord[board.curMoveIndex - 1];
  size_t length = strnlen(text, sizeof entry.text - 1);
  std::memcpy(entry.text, text, length);
  entry.text[length] = 0;
  return true;
}

}  // namespace

int ChessBoard::computerPlay(int ponder) {
  ponderSearch = ponder && ponderEnabled ? 1 : 0;
  computerThinking = 1;
  srand(static_cast<unsigned>(time(0)));
  ThreadComputerPlay();
  return 1;
}

int ChessBoard::Thread_StartComputerPlay(void* board) {
  srand(static_cast<unsigned>(time(0)));
  static_cast<ChessBoard*>(board)->ThreadComputerPlay();
  return 0;
}

ChessMove ChessBoard::findLegalMove(ChessMove move) {
  if (move == 0) return 0;
  buildLegalMoves();
  for (u32 i = 0; i < legalMoveCount; i++) {
    ChessMove m = legalMoves[i].move;
    if (m.from() != move.from() || m.to() != move.to() || m.promotion() != move.promotion())
      continue;
    return currentNode.isLegalMove(m) ? m : ChessMove(0);
  }
  return 0;
}

void ChessBoard::waitAtDepthBound() {
  // Each command is read and run by the front-end as during the search; a
  // stop, an abort or a ponder hit (outside infinite mode) ends the wait.
  // Without input the wait sleeps in the line reader; after a command that changed
  // nothing it pauses briefly, so that even an input stream that stays at
  // its end cannot make it spin.
  while (!stopSearch && (ponderSearch || searchMode == MODE_INFINITE)) {
    if (!getInput()) {
      waitForInput(100000);
      continue;
    }
    i32 ponderBefore = ponderSearch, modeBefore = searchMode;
    onParseInputCommand();
    if (!stopSearch && ponderSearch == ponderBefore && searchMode == modeBefore) pause(10000);
  }
}

int ChessBoard::ThreadComputerPlay() {
  ChessBoardNode& node = currentNode;
  PLine& rootLine = node.pvLines[0];
  Log::print("Computer playing ... nbply = %d", node.undoCount);
  onComputerStartPlaying();

  // 1. The opening book, for a think that is to end with a move of its own:
  //    not while pondering nor in infinite analysis. The book move is played
  //    only as the legal move it names.
  ChessMove move = 0;
  if (useBook && gameLength <= BOOK_PLY_LIMIT && !ponderSearch && searchMode != MODE_INFINITE) {
    ChessMove bookMove = openingBook.findMove(node.hashKey);
    if (bookMove) move = findLegalMove(bookMove);
  }
  countNodes = 0;
  onComputerClearPV();

  if (!move) {
    // 2. Fresh ordering tables, no stop.
    clearKillerMoves();
    restartPollCount();
    stopSearch = STOP_NONE;

    // 3. Budget and depth bound of the mode.
    ThinkSettings settings;
    settings.searchMode = searchMode;
    settings.depthLimit = depthLimit;
    settings.maxDepth = maxDepth;
    settings.moveTime = moveTime;
    settings.timeLimit = timeLimit;
    settings.remainingMs = remainingTime[node.sideToMove];
    settings.incrementMs = timeIncrement[node.sideToMove];
    settings.movesToGo = movesToGo;
    ThinkBudget budget = thinkBudget(settings);
    timeLimit = budget.timeLimit;
    if (searchMode == MODE_CLOCK)
      Log::print("- computer play : nbmoves = %d, time = %f, time by move = %d, increment = %d",
                 movesToGo, remainingTime[node.sideToMove], timeLimit,
                 timeIncrement[node.sideToMove]);
    if (budget.timed) readClock(startTime);
    if (budget.finishFirstIteration) timeLimit = TIME_LIMIT_NONE;
    const int depthBound = budget.depthBound;

    // 4. Iterative deepening.
    node.hashTable.searchCounter++;
    showCurrentMove = 0;
    ponderMove = 0;
    IterationControl it;
    ChessMove bestMove = 0;
    for (;;) {
      // 4.1 A ponder or infinite think that has searched to its bound
      //     waits for its end; a ponder hit makes it a normal think, which
      //     at its bound is over.
      if (!stopSearch && it.iter > 1 && it.beyondDepth(depthBound)) {
        waitAtDepthBound();
        if (!stopSearch) {
          Log::print("max depth reached");
          stopSearch = STOP_PLAY;
        }
      }
      if (stopSearch) break;

      // 4.2 The line of the last in-window iteration orders the next one.
      if (!it.failed) savedPV = rootLine;
      if (it.iter > 1) reinsertSavedLine(*this, it.iter);

      // 4.3 One root search; a stopped one is not looked at.
      clearLine(rootLine);
      int score = 0;
      it.addSearchTime(timedRootSearch(*this, it.iter * ONE_PLY, it.alpha, it.beta, score));
      timeLimit = budget.timeLimit;
      if (it.totalTime > 1000000) showCurrentMove = 1;
      if (stopSearch) continue;

      // 4.4 Inside the window: report it and go one ply deeper in a window
      //     around its score; outside: the same depth with the full window.
      int depth = it.iter;
      if (it.acceptScore(score)) onComputerThinkPV(depth, rootLine, countNodes, it.totalTime);

      // 4.5 Stop rules.
      if (it.beyondDepth(depthBound) && !ponderSearch && searchMode != MODE_INFINITE) {
        Log::print("max depth reached");
        stopSearch = STOP_PLAY;
      }
      if (searchMode == MODE_CLOCK && !ponderSearch) {
        int rules = it.clockRules(rootState, timeLimit);
        if (rules & CLOCK_RULE_ONE_MOVE) {
          Log::print("only one move possible");
          if (rootLine.count > 0) {
            bestMove = rootLine.moves[0].move;
            ponderMove = rootLine.count > 1 ? rootLine.moves[1].move : ChessMove(0);
          }
        }
        if (rules & CLOCK_RULE_NO_MOVE) Log::print("no move possible");
        if (rules & CLOCK_RULE_MATE) Log::print("2 successive mate found");
        if (rules) stopSearch = STOP_PLAY;
      }

      // 4.6 The best move so far; a finished line is never replaced by an
      //     empty one.
      if (!it.failed && rootLine.count > 0) {
        bestMove = rootLine.moves[0].move;
        ponderMove = rootLine.count > 1 ? rootLine.moves[1].move : ChessMove(0);
      }
    }

    // 5. An abort plays nothing.
    if (stopSearch == STOP_ABORT) {
      computerThinking = 0;
      onComputerFinishPlaying(STOP_ABORT);
      return 1;
    }

    // 6. The move: at a fixed depth the line of the latest root search
    //    (finished or not), otherwise the best move of the last in-window
    //    iteration.
    move = bestMove;
    if (searchMode == MODE_DEPTH && rootLine.count > 0) {
      move = rootLine.moves[0].move;
      ponderMove = rootLine.count > 1 ? rootLine.moves[1].move : ChessMove(0);
    }
    if (it.iter == 2 && move == 0) {
      Log::print("no result was found ? (depth = 1)");
      clearLine(rootLine);
      int score = 0;
      double time = timedRootSearch(*this, ONE_PLY, -FULL_WINDOW, FULL_WINDOW, score);
      onComputerThinkPV(1, rootLine, countNodes, it.totalTime + time);
    }
    // 7. A think stopped before any iteration ended still plays: the best
    //    root move whose search finished, or else the first legal move. A
    //    stopped ponder search plays nothing (below).
    if (move == 0 && !(ponderSearch && stopSearch == STOP_PONDER)) {
      if (rootLine.count > 0) {
        move = rootLine.moves[0].move;
        ponderMove = rootLine.count > 1 ? rootLine.moves[1].move : ChessMove(0);
      } else {
        move = firstLegalMove(*this);
        ponderMove = 0;
      }
    }
  } else {
    // The book move is answered like a searched one, without an expected
    // reply.
    ponderMove = 0;
    stopSearch = STOP_PLAY;
  }

  // 8. End of the think. A stopped ponder search takes the pondered move
  //    back and plays nothing.
  if (ponderSearch) {
    ponderSearch = 0;
    if (stopSearch == STOP_PONDER) {
      takeBack();
      move = 0;
    }
  }
  if (move == 0 || !playThinkMove(*this, move)) Log::print(17, "No move found ??");
  onComputerFinishPlaying(stopSearch);
  if (stopSearch != STOP_PONDER) onNextPlayer();
  computerThinking = 0;
  return 1;
}
