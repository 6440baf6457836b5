// The engine object: the game position, the search's working tables, the
// limits and clocks of the next think, the game record, and the opening book
// and game library. It tells the outside world everything through its
// virtual callbacks, which the front-end implements.
#pragma once

#include <string>

#include "engine/node.h"
#include "engine/types.h"
#include "records/gamelibrary.h"
#include "records/openingbook.h"

// One per-ply move list; its count lives in the code that fills it.
struct PlyMoveList {
  ChessMoveSort moves[PLY_LIST_SIZE];
};

// Time of day in seconds and microseconds.
struct TimeOfDay {
  int64_t sec;
  int64_t usec;
};

// Stop codes of a think.
enum {
  STOP_NONE = 0,     // searching
  STOP_PLAY = 1,     // stop and play the best move
  STOP_PONDER = 2,   // stop a ponder search and take the pondered move back
  STOP_ABORT = 3     // abort without a move
};

// Search modes.
enum {
  MODE_DEPTH = 0,
  MODE_NODES = 1,
  MODE_MOVETIME = 3,
  MODE_CLOCK = 5,
  MODE_INFINITE = 7
};

// Nodes searched in the current think.
extern u64 countNodes;
// Draw score from the side to move's view.
extern i32 contemptFactor;

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
  void updatePieces();
  void addPiece(int file, int rank, int piece, int colour);
  void print() {}
  void setEngineSearchMode(int mode, int value, int);
  // Builds the full move list of the game position into legalMoves.
  void buildLegalMoves();

  // ---- perft and divide (perft.cpp) ----
  void perft(int depth, int x);
  u64 searchAllMoves(ChessBoardNode* node, int depth, int x);
  void divide(ChessBoardNode* node, int depth, int first);
  int doDivide(int depth);
  void doPerft(int depth);
  int testHashKey(int depth, int ply);

  // ---- game record and move entry (gamerecord.cpp) ----
  int setMoveSquare(char* text);
  int nextMove();
  int previousMove();
  int takeBack();
  unsigned countLegalMoves();
  int isMate();
  int setMove(int file, int rank);

  // ---- FEN (fen.cpp) ----
  int setFENPosition(char* fen);
  int getFENPosition(char* out);
  int reverseFENPosition(char* src, char* dst);

  // ---- move text parser (movetext.cpp) ----
  int createMove(char* text, ChessMove& move);

  // ---- move ordering and exchange evaluation ----

  // ---- alpha-beta search and quiescence ----

  // ---- search-time check and input polling ----

  // ---- root search ----

  // ---- think driver and time control ----

  // ---- opening book ----

  // ---- book building, game replay and saving, test suites ----
};
