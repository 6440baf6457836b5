// The game record and move entry: moves given as coordinate text or as two
// clicks on a board, stepping forward and back through the record, taking
// the last move back, and counting the legal moves of the game position.
#include <cstring>

#include "engine/chessboard.h"
#include "engine/log.h"

void ChessBoard::noteCapturedPiece(unsigned colour, unsigned piece) {
  if (capturedCount[colour] < sizeof(capturedPieces[colour])) {
    capturedPieces[colour][capturedCount[colour]++] = static_cast<u8>(piece);
  }
}

void ChessBoard::dropCapturedPiece(unsigned colour) {
  if (capturedCount[colour] > 0) capturedCount[colour]--;
}

void ChessBoard::clearCapturedPieces() {
  capturedCount[BLACK] = capturedCount[WHITE] = 0;
  memset(capturedPieces, 0, sizeof(capturedPieces));
}

int ChessBoard::recordMove(ChessMove move) {
  if (curMoveIndex >= MAX_GAME_LENGTH) return 0;
  gameRecord[curMoveIndex].move = move;
  gameLength = (curMoveIndex < gameLength ? curMoveIndex : gameLength) + 1;
  curMoveIndex++;
  pendingMove = 0;
  lastMove = move;
  if (move.captured()) {
    // The move has been made: the side now to move lost the piece.
    noteCapturedPiece(currentNode.sideToMove, move.captured());
  }
  return 1;
}

unsigned ChessBoard::promotionOfLetter(char letter) {
  switch (letter) {
    case 'q':
    case 'Q': return QUEEN;
    case 'r':
    case 'R': return ROOK;
    case 'b':
    case 'B': return BISHOP;
    case 'n':
    case 'N': return KNIGHT;
    default: return 0;
  }
}

int ChessBoard::setMoveSquare(char* text) {
  // 1-2. Four coordinates, and at most a promotion letter after them; the
  //      length is known before any character is read.
  size_t len = strlen(text);
  if (len > 5) {
    Log::print("bad size");
    return 0;
  }
  if (len < 4) {
    Log::print("error : move text too short");
    return 0;
  }
  int fromFile = text[0] - 'a', fromRank = text[1] - '1';
  int toFile = text[2] - 'a', toRank = text[3] - '1';
  if (fromFile < 0 || fromFile > 7 || fromRank < 0 || fromRank > 7 || toFile < 0 || toFile > 7 ||
      toRank < 0 || toRank > 7) {
    Log::print("error : %d,%d -> %d,%d", fromFile, fromRank, toFile, toRank);
    return 0;
  }
  // 3. The promotion letter, in either case: user interfaces write both.
  unsigned promotion = 0;
  if (len == 5) {
    promotion = promotionOfLetter(text[4]);
    if (!promotion) {
      Log::print("bad promotion piece");
      return 0;
    }
  }
  // A full record refuses the move before anything changes.
  if (!canRecordMove()) {
    Log::print("error : game record full");
    return 0;
  }

  // 4-6. The first generated move with these squares (and this promotion).
  buildLegalMoves();
  pendingMove = 0;
  unsigned from = (unsigned)(fromFile + 8 * fromRank), to = (unsigned)(toFile + 8 * toRank);
  ChessMove found = 0;
  for (u32 i = 0; i < legalMoveCount; i++) {
    ChessMove m = legalMoves[i].move;
    if (m.from() != from || m.to() != to) continue;
    if (promotion && m.promotion() != promotion) continue;
    if (promotion) Log::print("promotion move found");
    found = m;
    break;
  }
  if (!found) return 0;

  // 7. A move that leaves the own king in check is taken back.
  if (!currentNode.makeMove(found)) {
    Log::print("error");
    currentNode.unMakeMove(found);
    pendingMove = 0;
    return 0;
  }
  // 8-9. Record it and list the replies.
  recordMove(found);
  buildLegalMoves();
  return 1;
}

int ChessBoard::nextMove() {
  if (curMoveIndex >= gameLength) return 0;
  if (!currentNode.canMakeMove()) return 0;
  ChessMove m = gameRecord[curMoveIndex].move;
  // Not yet made: the mover's opponent loses the piece.
  if (m.captured()) noteCapturedPiece(currentNode.opponent, m.captured());
  currentNode.makeMove(m);
  curMoveIndex++;
  buildLegalMoves();
  lastMove = m;
  updatePieces();
  onNextPlayer();
  return 1;
}

// Takes back the record entry at curMoveIndex (already lowered by the
// caller) and brings the captured lists, the move list and lastMove along.
static void stepBack(ChessBoard& board) {
  ChessMove m = board.gameRecord[board.curMoveIndex].move;
  board.currentNode.unMakeMove(m);
  // Taken back: the captured piece's colour is the opponent's again.
  if (m.captured()) board.dropCapturedPiece(board.currentNode.opponent);
  board.buildLegalMoves();
  board.lastMove =
      board.curMoveIndex ? board.gameRecord[board.curMoveIndex - 1].move : ChessMove(0);
  board.updatePieces();
  board.onNextPlayer();
}

int ChessBoard::previousMove() {
  if (curMoveIndex == 0 || currentNode.undoCount == 0) return 0;
  curMoveIndex--;
  stepBack(*this);
  return 1;
}

int ChessBoard::takeBack() {
  if (gameLength == 0 || curMoveIndex == 0 || currentNode.undoCount == 0) return 0;
  curMoveIndex--;
  gameLength = curMoveIndex;
  stepBack(*this);
  return 1;
}

unsigned ChessBoard::countLegalMoves() {
  buildLegalMoves();
  unsigned legal = 0;
  for (u32 i = 0; i < legalMoveCount; i++) legal += currentNode.isLegalMove(legalMoves[i].move);
  return legal;
}

int ChessBoard::isMate() {
  if (!currentNode.inCheck()) return 0;
  return countLegalMoves() == 0 ? 1 : 0;
}

int ChessBoard::setMove(int fileOrPiece, int rank) {
  ChessBoardNode& node = currentNode;
  unsigned side = node.sideToMove;
  unsigned victim = side ^ 1;

  if (promotionPending == 1) {
    // 1. This click names the promotion piece.
    pieceSelected = 0;
    promotionPending = 0;
    pendingMove = ChessMove((pendingMove & ~(7u << 18)) | (((u32)fileOrPiece & 7u) << 18));
  } else {
    // 2. A square outside the board cancels the move.
    if (fileOrPiece < 0 || fileOrPiece > 7 || rank < 0 || rank > 7) {
      pendingMove = 0;
      return 1;
    }
    unsigned sq = (unsigned)(fileOrPiece + 8 * rank);
    u64 bit = 1ULL << sq;
    if (!pieceSelected) {
      if (!(node.bbColorPiece[side] & bit)) return (node.bbAllPiece & bit) ? 2 : 0;
      pieceSelected = 1;
      pendingMove = ChessMove::make(sq, sq, node.pieceArray[sq]);
      return 0;
    }
    // 3. The second click names the target: the last listed move that fits.
    pieceSelected = 0;
    unsigned from = pendingMove.from();
    if (sq == from) {
      pendingMove = 0;
      return 6;
    }
    ChessMove found = 0;
    for (u32 i = legalMoveCount; i-- > 0;) {
      ChessMove m = legalMoves[i].move;
      if (m.from() == from && m.to() == sq) {
        found = m;
        break;
      }
    }
    if (!found) {
      pendingMove = 0;
      return 1;
    }
    pendingMove = found;
    // 4. Note the captured piece at once; a promotion waits for its piece.
    if (found.captured()) {
      Log::print("add taken piece to player %d", (int)victim);
      noteCapturedPiece(victim, found.captured());
    }
    if (found.promotion()) {
      promotionPending = 1;
      onPromotionMode();
      return 0;
    }
  }

  // 5. Complete the move: a promotion to anything but N, B, R or Q, a full
  //    record or a move into check is refused and leaves no trace.
  ChessMove m = pendingMove;
  bool legal = false;
  if (canRecordMove() &&
      (m.promotion() == 0 || (m.promotion() >= KNIGHT && m.promotion() <= QUEEN))) {
    legal = node.makeMove(m) != 0;
    if (!legal) node.unMakeMove(m);
  }
  if (!legal) {
    if (m.captured()) {
      Log::print("remove taken piece from player %d", (int)victim);
      dropCapturedPiece(victim);
    }
    pendingMove = 0;
    updatePieces();
    return 1;
  }
  // The captured piece is on the list already.
  u32 noted = capturedCount[victim];
  recordMove(m);
  capturedCount[victim] = noted;
  updatePieces();

  // The text against the list of the position before the move, then the
  // replies decide check, mate or stalemate.
  GameRecordEntry& entry = gameRecord[curMoveIndex - 1];
  m.textShort(entry.text, legalMoves, legalMoveCount);
  const unsigned replies = countLegalMoves();
  const bool check = node.nodeState == NODE_CHECK;
  size_t len = strlen(entry.text);
  if (replies == 0) {
    node.nodeState = check ? NODE_MATE : NODE_STALEMATE;
    if (check && len + 1 < sizeof(entry.text)) strcat(entry.text, "#");
  } else if (check && len + 1 < sizeof(entry.text)) {
    strcat(entry.text, "+");
  }
  onNextPlayer();
  return 0;
}
