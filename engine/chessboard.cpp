// The engine object: construction, the search resources of the game
// position, the start of a game and its defaults, the display copy and the
// search-mode setting.
#include "engine/chessboard.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "engine/bitboard.h"
#include "engine/log.h"
#include "engine/pst.h"

u64 countNodes = 0;
i32 contemptFactor = 0;

namespace {

// Empties the placement of a position and resets its rights and counters.
// The king squares get placeholders until kings are placed.
void clearPosition(ChessBoardNode& node) {
  node.bbAllPiece = 0;
  node.bbColorPiece[BLACK] = node.bbColorPiece[WHITE] = 0;
  memset(node.bbPiece, 0, sizeof(node.bbPiece));
  memset(node.pieceArray, 0, sizeof(node.pieceArray));
  node.castleRights = CASTLE_WK | CASTLE_WQ | CASTLE_BK | CASTLE_BQ;
  node.sideToMove = WHITE;
  node.opponent = BLACK;
  node.enPassantFile = 0;
  node.halfMoveClock = 0;
  node.nodeState = NODE_NORMAL;
  node.kingSquare[BLACK] = 4;
  node.kingSquare[WHITE] = 60;
}

// Zeroes every field of a freshly constructed position record; its key set
// and transposition table are constructed empty by their own constructors.
void zeroNode(ChessBoardNode& node) {
  clearPosition(node);
  node.hashKey = 0;
  node.material[BLACK] = node.material[WHITE] = 0;
  node.gamePhase = 0;
  node.phaseSum[BLACK] = node.phaseSum[WHITE] = 0;
  node.pstMiddlegame[BLACK] = node.pstMiddlegame[WHITE] = 0;
  node.pstEndgame[BLACK] = node.pstEndgame[WHITE] = 0;
  memset(node.pieceCount, 0, sizeof(node.pieceCount));
  node.hashHistoryCount = 0;
  memset(node.hashHistory, 0, sizeof(node.hashHistory));
  node.undoCount = 0;
  node.undoStack = nullptr;
  for (PLine& line : node.pvLines) line = PLine{};
}

}  // namespace

ChessBoard::ChessBoard() {
  // 1. Every member starts at zero, both positions cleared.
  zeroNode(currentNode);
  zeroNode(displayNode);
  pendingMove = 0;
  gameLength = 0;
  for (GameRecordEntry& e : gameRecord) e = GameRecordEntry{};
  legalMoveCount = 0;
  for (ChessMoveSort& m : legalMoves) m = ChessMoveSort{};
  for (PlyMoveList& l : plyMoveList)
    for (ChessMoveSort& m : l.moves) m = ChessMoveSort{};
  clearKillerMoves();
  computerThinking = stopSearch = rootState = 0;
  pieceSelected = promotionPending = 0;
  clearCapturedPieces();
  lastMove = 0;
  savedPV = PLine{};
  ponderEnabled = ponderSearch = 0;
  ponderMove = 0;
  searchMode = maxDepth = 0;
  timeLimit = 0;
  startTime = TimeOfDay{0, 0};
  pollPeriod = moveTime = 0;
  restartPollCount();
  nodeLimit = 0;
  movesToGo = 0;
  timeIncrement[BLACK] = timeIncrement[WHITE] = 0;
  curMoveIndex = 0;
  depthLimit = initialTime = showCurrentMove = 0;
  remainingTime[BLACK] = remainingTime[WHITE] = 0.0f;
  testSuiteMode = 0;
  // 2. The book may be used until a protocol says otherwise.
  useBook = 1;
  // 3. Last, the shared attack tables (the same contents at every build).
  initBitBoards();
}

ChessBoard::~ChessBoard() {
  gameLength = 0;
  // The undo stack belongs to the game position from init to free; an object
  // destroyed without free still gives it back.
  delete[] currentNode.undoStack;
  currentNode.undoStack = nullptr;
}

int ChessBoard::init(unsigned int sizeMB) {
  // 1. The undo stack is allocated once: a later init (a new hash size)
  //    keeps the records of the moves already on the board.
  if (!currentNode.undoStack) {
    currentNode.undoStack = new (std::nothrow) ChessMoveUndo[UNDO_STACK_SIZE]();
    if (!currentNode.undoStack) exitOutOfMemory();
  }
  // 2. The key set is drawn once; later calls keep it, so position keys
  //    (and the opening book's) never change during a run.
  currentNode.zobrist.init();
  // 3. A new, empty transposition table of the requested size.
  return currentNode.hashTable.init(sizeMB);
}

void ChessBoard::free() {
  ponderSearch = 0;
  ponderEnabled = 0;
  ponderMove = 0;
  if (computerThinking) stopSearch = STOP_ABORT;
  clearPosition(currentNode);
  currentNode.hashTable.free();
  currentNode.zobrist.free();
  delete[] currentNode.undoStack;
  currentNode.undoStack = nullptr;
}

void ChessBoard::placePieces(const u8 placement[64]) {
  ChessBoardNode& node = currentNode;
  clearPosition(node);
  memset(node.pieceCount, 0, sizeof(node.pieceCount));
  for (int c = BLACK; c <= WHITE; c++) {
    node.material[c] = 0;
    node.phaseSum[c] = 0;
    node.pstMiddlegame[c] = 0;
    node.pstEndgame[c] = 0;
  }
  for (unsigned sq = 0; sq < 64; sq++) {
    unsigned index = placement[sq];
    if (index == 0) continue;
    unsigned colour = index / 7;
    unsigned type = index % 7;
    u64 bit = 1ULL << sq;
    node.bbPiece[index] |= bit;
    node.bbColorPiece[colour] |= bit;
    node.bbAllPiece |= bit;
    node.pieceArray[sq] = (u8)type;
    node.pieceCount[index]++;
    node.material[colour] += PieceCaptureValue[type];
    node.phaseSum[colour] += PieceGamePhaseValue[type];
    node.pstMiddlegame[colour] += piece_square_table_middlegame[colour][type][sq];
    node.pstEndgame[colour] += piece_square_table_endgame[colour][type][sq];
    if (type == KING) node.kingSquare[colour] = (u8)sq;
  }
  node.gamePhase = gamePhaseOf(node.phaseSum[BLACK] + node.phaseSum[WHITE]);
}

void ChessBoard::buildLegalMoves() {
  ChessBoardNode& node = currentNode;
  unsigned count;
  node.generateMoves(legalMoves, &count, node.inCheck());
  legalMoveCount = count;
}

void ChessBoard::clearGameRecord() {
  pieceSelected = 0;
  promotionPending = 0;
  pendingMove = 0;
  gameLength = 0;
  curMoveIndex = 0;
  lastMove = 0;
  currentNode.undoCount = 0;
  currentNode.hashHistoryCount = 0;
  clearCapturedPieces();
  clearKillerMoves();
}

void ChessBoard::newGame() {
  // 1-2. Nothing of the previous game stays on the board.
  ponderMove = 0;
  contemptFactor = 0;
  computerThinking = 0;
  ponderSearch = 0;
  // 3. Engine defaults: five-minute clocks, five seconds per move.
  initialTime = 300000;
  searchMode = MODE_MOVETIME;
  depthLimit = 8;
  maxDepth = 64;
  pollPeriod = 30000;
  restartPollCount();
  movesToGo = 40;
  timeIncrement[BLACK] = timeIncrement[WHITE] = 0;
  timeLimit = 7500;
  nodeLimit = 2000000;
  moveTime = 5000000;
  startTime = TimeOfDay{0, 0};
  // 4. An empty game record, key history and ordering tables.
  clearGameRecord();
  // 5-7. The start position with its rights, counts and sums.
  static const u8 backRank[8] = {ROOK, KNIGHT, BISHOP, QUEEN, KING, BISHOP, KNIGHT, ROOK};
  u8 placement[64] = {0};
  for (unsigned f = 0; f < 8; f++) {
    placement[f] = (u8)(WHITE * 7 + backRank[f]);
    placement[8 + f] = (u8)(WHITE * 7 + PAWN);
    placement[48 + f] = (u8)(BLACK * 7 + PAWN);
    placement[56 + f] = (u8)(BLACK * 7 + backRank[f]);
  }
  placePieces(placement);
  // 8. No entry of the previous game is of use.
  currentNode.hashTable.clear();
  // 9-10. The moves of the start position and its key.
  buildLegalMoves();
  currentNode.hashKey = currentNode.createHashKey();
  // 13-14. Show it and reset both clocks.
  updatePieces();
  remainingTime[BLACK] = remainingTime[WHITE] = (float)initialTime;
}

void ChessBoard::updatePieces() {
  displayNode.bbAllPiece = currentNode.bbAllPiece;
  memcpy(displayNode.bbColorPiece, currentNode.bbColorPiece, sizeof(displayNode.bbColorPiece));
  memcpy(displayNode.bbPiece, currentNode.bbPiece, sizeof(displayNode.bbPiece));
  displayNode.hashKey = currentNode.hashKey;
  memcpy(displayNode.material, currentNode.material, sizeof(displayNode.material));
  displayNode.sideToMove = currentNode.sideToMove;
  displayNode.opponent = currentNode.opponent;
  displayNode.gamePhase = currentNode.gamePhase;
  displayNode.castleRights = currentNode.castleRights;
  displayNode.enPassantFile = currentNode.enPassantFile;
  displayNode.halfMoveClock = currentNode.halfMoveClock;
  displayNode.nodeState = currentNode.nodeState;
  memcpy(displayNode.pieceArray, currentNode.pieceArray, sizeof(displayNode.pieceArray));
  memcpy(displayNode.kingSquare, currentNode.kingSquare, sizeof(displayNode.kingSquare));
  onUpdateBoard();
}

void ChessBoard::addPiece(int file, int rank, int piece, int colour) {
  if (file < 0 || file > 7 || rank < 0 || rank > 7 || piece < PAWN || piece > KING ||
      (colour != BLACK && colour != WHITE))
    return;
  unsigned sq = (unsigned)(file + 8 * rank);
  u64 bit = 1ULL << sq;
  currentNode.bbColorPiece[colour] ^= bit;
  currentNode.bbPiece[colour * 7 + piece] ^= bit;
  currentNode.bbAllPiece ^= bit;
  currentNode.pieceArray[sq] = (u8)piece;
  currentNode.hashKey ^= currentNode.zobrist.pieceKey((unsigned)colour, (unsigned)piece, sq);
}

void ChessBoard::setEngineSearchMode(int mode, int value, int) {
  switch (mode) {
    case MODE_DEPTH:
      searchMode = MODE_DEPTH;
      depthLimit = value;
      break;
    case MODE_NODES:
      searchMode = MODE_NODES;
      nodeLimit = (u64)(int64_t)value;
      pollEvent = 0;  // the limit is tested from the next call on
      break;
    case MODE_MOVETIME:
      searchMode = MODE_MOVETIME;
      moveTime = (u32)value;
      break;
    case MODE_CLOCK: searchMode = MODE_CLOCK; break;
    case MODE_INFINITE: searchMode = MODE_INFINITE; break;
    default: break;
  }
}
