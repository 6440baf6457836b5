// Move text: the long algebraic form (e2-e4, Ng1-f3), the short algebraic
// form disambiguated against a move list (e4, Nbd7, exd5), and the reader
// of short algebraic text from PGN files.
#include <cstring>

#include "engine/chessboard.h"

ChessMove emptyMove = 0;

namespace {

// Piece letters by piece code; pawns and no piece write nothing.
const char PieceName[] = "  NBRQK";

// Longest text the writers produce: out holds 12 bytes. A malformed word
// (every flag set) would ask for more; its text is cut there.
const size_t MOVE_TEXT_MAX = 11;

// Appends text to out at *pos, within MOVE_TEXT_MAX characters.
inline void put(char* out, size_t* pos, const char* text) {
  size_t n = strlen(text);
  if (n > MOVE_TEXT_MAX - *pos) n = MOVE_TEXT_MAX - *pos;
  memcpy(out + *pos, text, n);
  *pos += n;
  out[*pos] = 0;
}

inline void putChar(char* out, size_t* pos, char c) {
  if (*pos < MOVE_TEXT_MAX) out[(*pos)++] = c;
  out[*pos] = 0;
}

inline void putSquare(char* out, size_t* pos, unsigned square) {
  putChar(out, pos, (char)('a' + (square & 7)));
  putChar(out, pos, (char)('1' + (square >> 3)));
}

inline const char* castleText(ChessMove m) {
  return (m.from() & 7) >= (m.to() & 7) ? "O-O-O" : "O-O";
}

inline void putMarker(char* out, size_t* pos, ChessMove m) {
  if (m.marker() == 1)
    put(out, pos, " +");
  else if (m.marker() == 2)
    put(out, pos, " #");
}

// Castling text as collections write it: "O-O" or "O-O-O", with letter O
// or digit zero, followed by nothing but check and annotation signs
// ("O-O+", "0-0-0#", "O-O?!"). False for any other text; queenSide tells
// which castling the text names.
inline bool readCastleText(const char* text, bool* queenSide) {
  const char o = text[0];
  if (o != 'O' && o != '0') return false;
  int letters = 1;
  const char* p = text + 1;
  while (p[0] == '-' && p[1] == o && letters < 3) {
    letters++;
    p += 2;
  }
  if (letters < 2) return false;
  for (; *p; p++)
    if (!strchr("+#!?", *p)) return false;
  *queenSide = letters == 3;
  return true;
}

inline bool isFileChar(char c) { return c >= 'a' && c <= 'h'; }
inline bool isRankChar(char c) { return c >= '1' && c <= '8'; }

// Piece code of an upper-case piece letter (N, B, R, Q or K); 0 for any
// other character.
inline unsigned pieceOfLetter(char c) {
  const char* at = c ? strchr(PieceName + KNIGHT, c) : nullptr;
  return at ? (unsigned)(at - PieceName) : 0;
}

}  // namespace

void ChessMove::text(char* out) const {
  size_t pos = 0;
  out[0] = 0;
  if (move == 0) {
    put(out, &pos, "empty");
    return;
  }
  if (isCastle()) {
    put(out, &pos, castleText(*this));
    return;
  }
  if (piece() != PAWN) putChar(out, &pos, PieceName[piece()]);
  putSquare(out, &pos, from());
  putChar(out, &pos, captured() ? 'x' : '-');
  putSquare(out, &pos, to());
  if (isEnPassant()) put(out, &pos, " e.p");
  if (promotion()) {
    putChar(out, &pos, '=');
    putChar(out, &pos, PieceName[promotion()]);
  }
  putMarker(out, &pos, *this);
}

// The short text is the one kept in the game record (7 characters and the
// terminator): an en-passant capture is written like any pawn capture,
// "exd6", so that every text of a game fits the record.
int ChessMove::textShort(char* out, ChessMoveSort* list, unsigned int count) const {
  size_t pos = 0;
  out[0] = 0;
  if (move == 0) {
    put(out, &pos, "empty");
    return 0;
  }
  // Another piece of the same kind that reaches the same square asks for
  // the from file, or the from rank when it stands on the same file, or
  // both. Every listed move counts, legal or not.
  unsigned rivals = 0;
  bool needFile = false, needRank = false;
  if (piece() != PAWN && list) {
    for (unsigned i = 0; i < count; i++) {
      ChessMove other = list[i].move;
      if (other.piece() != piece() || other.to() != to() || other.from() == from()) continue;
      rivals++;
      if ((other.from() & 7) == (from() & 7)) needRank = true;
      if ((other.from() >> 3) == (from() >> 3)) needFile = true;
      if (!needRank && !needFile) needFile = true;
    }
  }
  if (isCastle()) {
    put(out, &pos, castleText(*this));
    return 1;
  }
  if (piece() != PAWN) putChar(out, &pos, PieceName[piece()]);
  if (rivals) {
    if (needFile) putChar(out, &pos, (char)('a' + (from() & 7)));
    if (needRank) putChar(out, &pos, (char)('1' + (from() >> 3)));
  }
  if (captured()) {
    if (piece() == PAWN) putChar(out, &pos, (char)('a' + (from() & 7)));
    putChar(out, &pos, 'x');
  }
  putSquare(out, &pos, to());
  if (promotion()) {
    putChar(out, &pos, '=');
    putChar(out, &pos, PieceName[promotion()]);
  }
  putMarker(out, &pos, *this);
  return 1;
}

int ChessBoard::createMove(char* text, ChessMove& move) {
  ChessBoardNode& node = currentNode;
  const unsigned side = node.sideToMove;

  // 1-2. Castling: the castle move of the list, when it is there and legal.
  bool queenSide = false;
  const bool castles = readCastleText(text, &queenSide);
  unsigned piece = 0, toSquare = 0;
  int fromFile = -1, fromRank = -1, promotion = -1;
  if (castles) {
    piece = KING;
    toSquare = (side == WHITE ? 0u : 56u) + (queenSide ? 2u : 6u);
  } else {
    // 3. The moving piece: a piece letter, or the file of a pawn.
    size_t p = 0;
    piece = pieceOfLetter(text[0]);
    if (piece)
      p = 1;
    else if (isFileChar(text[0]))
      piece = PAWN;
    else
      return 0;
    // 4. A from square (both file and rank, as written when three pieces
    //    reach the target: Qh4e1), a from rank, or a from file followed by
    //    a file or a capture.
    if (isFileChar(text[p]) && isRankChar(text[p + 1]) &&
        (isFileChar(text[p + 2]) || text[p + 2] == 'x')) {
      fromFile = text[p] - 'a';
      fromRank = text[p + 1] - '1';
      p += 2;
    } else if (isRankChar(text[p])) {
      fromRank = text[p] - '1';
      p++;
    } else if (isFileChar(text[p]) && (isFileChar(text[p + 1]) || text[p + 1] == 'x')) {
      fromFile = text[p] - 'a';
      p++;
    }
    // 5-6. The capture sign and the target square.
    if (text[p] == 'x') p++;
    if (!isFileChar(text[p]) || !isRankChar(text[p + 1])) return 0;
    toSquare = (unsigned)(text[p] - 'a') + 8u * (unsigned)(text[p + 1] - '1');
    p += 2;
    // The promotion piece: the letter after "=", or straight after the
    // target square as older collections write it (bxa8N); a queen when a
    // pawn reaches the last rank with no letter. Other moves promote
    // nothing, and a letter after them is ignored like any suffix.
    const bool lastRank = piece == PAWN && (toSquare >> 3) == (side == WHITE ? 7u : 0u);
    if (text[p] == '=') {
      promotion = (int)pieceOfLetter(text[p + 1]);
      if (promotion == 0 || promotion == KING) return 0;
    } else if (lastRank) {
      const unsigned letter = pieceOfLetter(text[p]);
      promotion = letter != 0 && letter != KING ? (int)letter : QUEEN;
    } else {
      promotion = 0;
    }
  }

  // 7-10. The first listed move that fits and that make/unmake proves legal,
  //       returned as the list's own word.
  for (u32 i = 0; i < legalMoveCount; i++) {
    ChessMove m = legalMoves[i].move;
    if (m.piece() != piece || m.to() != toSquare) continue;
    if (castles) {
      if (!m.isCastle()) continue;
    } else {
      if (m.isCastle()) continue;
      if (fromFile >= 0 && (int)(m.from() & 7) != fromFile) continue;
      if (fromRank >= 0 && (int)(m.from() >> 3) != fromRank) continue;
      if ((int)m.promotion() != promotion) continue;
    }
    if (!node.canMakeMove()) return 0;
    if (!node.isLegalMove(m)) continue;
    move = m;
    return 1;
  }
  return 0;
}
