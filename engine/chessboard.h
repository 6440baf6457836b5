// The engine object: the game position, the search's working tables, the
// limits and clocks of the next think, the game record, and the opening book
// and game library. It tells the outside world everything through its
// virtual callbacks, which the front-end implements.
#pragma once

#include <string>

#include "engine/clock.h"
#include "engine/historyjournal.h"
#include "engine/node.h"
#include "engine/types.h"
#include "records/gamelibrary.h"
#include "records/openingbook.h"
#include "records/testsuite.h"

// One per-ply move list; its count lives in the code that fills it.
struct PlyMoveList {
  ChessMoveSort moves[PLY_LIST_SIZE];
};

// Stop codes of a think.
enum {
  STOP_NONE = 0,    // searching
  STOP_PLAY = 1,    // stop and play the best move
  STOP_PONDER = 2,  // stop a ponder search and take the pondered move back
  STOP_ABORT = 3    // abort without a move
};

// Search modes.
enum { MODE_DEPTH = 0, MODE_NODES = 1, MODE_MOVETIME = 3, MODE_CLOCK = 5, MODE_INFINITE = 7 };

// Nodes searched in the current think.
extern u64 countNodes;
// Draw score from the side to move's view.
extern i32 contemptFactor;
// The start position as a FEN.
extern const char START_FEN[];

class ChessBoard {
public:
  ChessBoardNode currentNode;
  ChessMove pendingMove;
  u32 gameLength;
  GameRecordEntry gameRecord[MAX_GAME_LENGTH];
  u32 legalMoveCount;
  ChessMoveSort legalMoves[MAX_MOVES];
  PlyMoveList plyMoveList[MAX_PLY + 1];
  ChessMove killer1[MAX_PLY + 1];
  ChessMove killer2[MAX_PLY + 1];
  ChessMove mateKiller[MAX_PLY + 1];
  u32 historyTable[2][64][64];
  // Every raise of a history counter goes through it (storeCutoff).
  HistoryJournal historyJournal;
  ChessBoardNode displayNode;
  std::string playerName[2];
  i32 computerThinking;
  i32 stopSearch;
  i32 rootState;
  i32 pieceSelected;
  i32 promotionPending;
  u32 capturedCount[2];
  u8 capturedPieces[2][32];
  ChessMove lastMove;
  PLine savedPV;
  i32 ponderEnabled;
  i32 ponderSearch;
  ChessMove ponderMove;
  i32 searchMode;
  i32 maxDepth;
  u32 timeLimit;
  TimeOfDay startTime;
  u32 pollPeriod;
  u32 pollCounter;
  // The count of calls at which checkSearchTime next leaves its fast path
  // (a poll tick, a clock reading, or every call under a node limit or
  // after a stop); 0 sends the next call down the full path, which is
  // always sound.
  u32 pollEvent;
  u32 moveTime;
  u64 nodeLimit;
  i32 movesToGo;
  i32 timeIncrement[2];
  u32 curMoveIndex;
  i32 depthLimit;
  i32 initialTime;
  i32 showCurrentMove;
  float remainingTime[2];
  i32 testSuiteMode;
  ChessGameLibrary gameLibrary;
  i32 useBook;
  ChessOpeningBook openingBook;

  // ---- callbacks, in slot order; the front-end gives them bodies ----
  ChessBoard();
  virtual ~ChessBoard();
  virtual void draw(int, int) = 0;
  virtual void onPromotionMode() = 0;
  virtual void onComputerStartPlaying() = 0;
  virtual void onComputerFinishPlaying(int stopCode) = 0;
  virtual void onNextPlayer() = 0;
  virtual int onComputerThinkPV(int depth, PLine& pv, unsigned long long nodes,
                                double microseconds) = 0;
  virtual void onComputerClearPV() = 0;
  virtual void onUpdateBoard() = 0;
  virtual void onMateFound(int, int) = 0;
  virtual int onParseInputCommand() = 0;
  virtual void onSearchRootMove(ChessMove move, int number) = 0;

  // ---- engine object (chessboard.cpp) ----
  int init(unsigned int sizeMB);
  void free();
  void newGame();
  // Empties the game record, the move entry, the undo stack, the key
  // history, the captured-piece lists and the ordering tables: the common
  // start of every position set-up.
  void clearGameRecord();
  void updatePieces();
  void addPiece(int file, int rank, int piece, int colour);
  void print() {}
  void setEngineSearchMode(int mode, int value, int);
  // Builds the full move list of the game position into legalMoves: the
  // evasions when the side to move is in check (nodeState 1), otherwise the
  // captures followed by the quiet moves (nodeState 0).
  void buildLegalMoves();
  // Places a whole placement on the cleared game position and computes every
  // sum that depends on it (counts, material, phase, piece-square sums, king
  // squares). placement[square] is colour * 7 + type, 0 for an empty square.
  void placePieces(const u8 placement[64]);

  // ---- perft and divide (perft.cpp) ----
  void perft(int depth, int x);
  u64 searchAllMoves(ChessBoardNode* node, int depth, int x);
  void divide(ChessBoardNode* node, int depth, int first);
  int doDivide(int depth);
  void doPerft(int depth);
  int testHashKey(int depth, int ply);

  // ---- game record and move entry (gamerecord.cpp) ----
  // Appends a move just made on currentNode to the game record at the
  // current index (later entries are dropped) and notes its captured piece;
  // the entry's text is left to the caller. Returns 0 and changes nothing
  // when the record is full: callers test canRecordMove() before making it.
  int recordMove(ChessMove move);
  // True when the record, the key history and the undo stack can take one
  // more game move.
  bool canRecordMove() const { return curMoveIndex < MAX_GAME_LENGTH && currentNode.canMakeMove(); }
  // The lists of the pieces each colour has lost: a note of a captured
  // piece (none once the list is full), the last note taken off, both
  // lists emptied.
  void noteCapturedPiece(unsigned colour, unsigned piece);
  void dropCapturedPiece(unsigned colour);
  void clearCapturedPieces();
  // Plays a move given in coordinate text ("e2e4", "e7e8q", the promotion
  // letter in either case); 1 when played, 0 when refused.
  int setMoveSquare(char* text);
  // Promotion piece of the promotion letter of a coordinate move, in either
  // case; 0 for a character that names no promotion piece.
  static unsigned promotionOfLetter(char letter);
  int nextMove();
  int previousMove();
  int takeBack();
  unsigned countLegalMoves();
  int isMate();
  int setMove(int file, int rank);

  // ---- FEN (fen.cpp) ----
  int setFENPosition(const char* fen);
  int getFENPosition(char* out);
  int reverseFENPosition(char* src, char* dst);

  // ---- move text parser (movetext.cpp) ----
  int createMove(char* text, ChessMove& move);

  // ---- move ordering and exchange evaluation ----
  // Each orderer gives every move of the list its ordering key and sorts the
  // list, highest key first.
  void orderMoves(ChessMoveSort* list, unsigned int count, ChessMove hashMove, int ply);
  // The keys of orderMoves alone, the list left in its order.
  void scoreMoves(ChessMoveSort* list, unsigned int count, ChessMove hashMove, int ply);
  void orderMoves_quiescent(ChessMoveSort* list, unsigned int count, ChessMove hashMove, int ply);
  // The keys of orderMoves_quiescent, the list left in its order, and the
  // index of the move the sort puts first (the earliest of the highest key).
  // A capture whose exchange value cannot make it that move may keep
  // KEY_PENDING; sortMoves_quiescent gives it its key and sorts the list.
  unsigned int scoreMoves_quiescent(ChessMoveSort* list, unsigned int count);
  void sortMoves_quiescent(ChessMoveSort* list, unsigned int count);
  void orderMoves_root(ChessMoveSort* list, unsigned int count, int ply);
  // Sorts entries start .. start + count - 1 by key, highest first.
  void sortMoves(ChessMoveSort* list, unsigned int start, unsigned int count);
  // Material balance for the mover of the best capture sequence on the
  // move's target square; the move has not been made. With anyLoss, a
  // sequence that loses material may return any value below zero (found
  // sooner); a value of zero or more is always the exact balance.
  int staticExchangeEvaluation(ChessMove move, bool anyLoss = false);

  // ---- alpha-beta search and quiescence ----
  int alphabeta(int depth, int alpha, int beta, int allowNull, int ply);
  int alphabeta_quiescent(int ply, int alpha, int beta, int exact);
  // Number of moves to the mate of a mate score; other scores unchanged.
  int calcMateValue(int score);
  void clearKillerMoves();
  // Score of the move just made, for its mover: the quiescence search when
  // less than one ply of depth remains, else alpha-beta at the next ply; 0
  // when the think is stopping. exact goes to quiescence, allowNull to
  // alpha-beta.
  int searchChild(int depth, int alpha, int beta, int exact, int allowNull, int ply);
  // A move at ply failed high at depth: the table keeps it as a lower bound
  // beta, a mate score makes it the mate killer, and a quiet move becomes
  // the first killer and earns history for its mover.
  void storeCutoff(ChessMove move, int depth, int beta, int score, int ply);

  // ---- search-time check and input polling ----
  // Calls of checkSearchTime between two readings of the clock, a power of
  // two. The clock is read far more often than input is polled, so that a
  // time limit is overshot by a small fraction of a millisecond: between two
  // calls the search does at most one node's work (a move list, its
  // ordering, one evaluation), a few microseconds, and a clock reading costs
  // less than one call's share of that.
  static constexpr u32 CLOCK_CHECK_MASK = 1023;
  // 1 to go on searching, 0 to stop (stopSearch is then set). It runs
  // before every node and move of the search, so the common case (no poll
  // tick, no clock reading, no node limit) is inline at the callers.
  int checkSearchTime() {
    // 1. Count the call; below pollEvent there is nothing to test (a stop
    //    sets pollEvent to 0). A poll tick comes every pollPeriod calls (at
    //    once when the front-end has set pollCounter to pollPeriod, which
    //    pollEvent never exceeds).
    if (++pollCounter < pollEvent) return 1;
    return checkSearchLimits();
  }
  // A fresh count for a new search: the first call takes the full path.
  void restartPollCount() { pollCounter = pollEvent = 0; }
  // The rest of checkSearchTime, for a call that has been counted and that
  // reads the clock, polls input, tests the node limit or finds a stop.
  int checkSearchLimits();
  // 1 when a line (or the end of input) waits on standard input.
  int getInput();

  // ---- root search ----
  // Searches the game position to depth (eighths of a ply) in the window
  // (alpha, beta) and leaves the best line in pvLines[0]; 0 after a stop.
  int searchRoot(int depth, int alpha, int beta);

  // ---- think driver and time control ----
  // One complete think on the game position: a book move or a search under
  // the mode's limits; the move is played, recorded and reported.
  int computerPlay(int ponder);
  int ThreadComputerPlay();
  // Runs a think on the board it is given; no caller in the program.
  static int Thread_StartComputerPlay(void* board);
  // The legal move of the game position with the from and to squares and
  // the promotion piece of `move`, or 0 when there is none; rebuilds
  // legalMoves.
  ChessMove findLegalMove(ChessMove move);
  // A think that has reached its depth bound but may not end by itself
  // (pondering, infinite) waits here for commands until it is stopped or
  // turned into a normal think.
  void waitAtDepthBound();

  // ---- opening book ----
  // Switches the book on and loads the file; the result is the book's load.
  int loadOpeningBook(const std::string& file);
  // Switches the book off and empties it.
  void unloadOpeningBook();

  // ---- book building, game replay and saving, test suites ----
  // Adds the opening lines of at most depth plies that at least minCount
  // games of the PGN file share to the book and writes the book file; one
  // of the BOOK_ results. Leaves the start position with an empty record.
  int buildOpeningBook(const std::string& pgnFile, const std::string& bookFile, int depth,
                       int minCount);
  // Solves every position of an EPD file with one think each and prints
  // the report.
  TestSuiteScore runTestSuite(const std::string& epdFile);
  // Checks that each EPD position evaluates as its colour-mirrored twin.
  TestSuiteScore runEvalTestSuite(const std::string& epdFile);
  // Checks the perft counts of each line of a perft-suite file.
  TestSuiteScore runPerftSuite(const std::string& perftFile);
  // Replaces the game library by the games of a PGN file; 1 when read.
  int loadGameLibrary(const std::string& fileName);
  // Replays a game into the game record and rewinds to its start; 0 for
  // no game.
  int playGame(ChessGame* game);
  // Writes the game on the board as a PGN tag section; 1 when written.
  int saveGame(const std::string& fileName);
};
