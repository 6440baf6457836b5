// Reading the best-move field of an EPD line as moves of the position, so
// that a verdict compares moves and not texts.
#include "records/bestmoves.h"

#include <cstring>

#include "engine/chessboard.h"

namespace {

// Room of one token: the longest move text, its signs and more. A longer
// token is cut, which drops nothing the move reader looks at.
const size_t TOKEN_SIZE = 16;

const char* const FIELD_BLANKS = " \t";

// Reads one token of the field as a legal move of the position.
bool readBestMove(ChessBoard& board, const char* token, size_t length, ChessMove& move) {
  // 1. The token, cut to its room.
  char text[TOKEN_SIZE];
  if (length > TOKEN_SIZE - 1) length = TOKEN_SIZE - 1;
  memcpy(text, token, length);
  text[length] = '\0';
  // 2. The long text puts a "-" between the from square and the target
  //    (Ng1-f3, e7-e8=Q); without it, it is short text with a full from
  //    square (Ng1f3, e7e8=Q), which the move reader takes. Castling, with
  //    letter O or digit zero, keeps its dashes.
  if (text[0] != 'O' && text[0] != '0') {
    char* out = text;
    for (const char* in = text; *in; in++)
      if (*in != '-') *out++ = *in;
    *out = '\0';
  }
  // 3. Against the legal moves of the position.
  return board.createMove(text, move) == 1;
}

}  // namespace

std::vector<ChessMove> readBestMoves(ChessBoard& board, const char* field) {
  std::vector<ChessMove> best;
  board.buildLegalMoves();
  for (const char* token = field + strspn(field, FIELD_BLANKS); *token;) {
    const size_t length = strcspn(token, FIELD_BLANKS);
    ChessMove move;
    if (readBestMove(board, token, length, move)) best.push_back(move);
    token += length;
    token += strspn(token, FIELD_BLANKS);
  }
  return best;
}

bool isBestMove(const std::vector<ChessMove>& best, ChessMove move) {
  for (ChessMove m : best)
    if (m.from() == move.from() && m.to() == move.to() && m.promotion() == move.promotion())
      return true;
  return false;
}
