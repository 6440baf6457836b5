// FEN: set up the game position from a FEN string, write the position as
// FEN, and mirror a FEN string to the colour-exchanged position.
#include <cstring>

#include "engine/bitboard.h"
#include "engine/chessboard.h"

const char START_FEN[] = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

namespace {

const char txtCheckFENPiecesBlack[] = "pnbrqk";
const char txtCheckFENPiecesWhite[] = "PNBRQK";

// Longest digit run of a counter field.
const int MAX_FEN_DIGITS = 30;

inline bool isDigit(char c) { return c >= '0' && c <= '9'; }
inline bool isFileLetter(char c) { return c >= 'a' && c <= 'h'; }

// Piece type (1..6) of a FEN letter of the given colour, 0 if it is none.
inline unsigned fenPieceType(char c, const char* set) {
  if (c == 0) return 0;
  const char* p = strchr(set, c);
  return p ? (unsigned)(p - set) + 1 : 0;
}

// Whether a piece of byColour attacks square on the placement given by the
// composite-index board, seen through the same attack tables as the engine.
// Only the bitboards of a scratch node are filled: enough for isAttacked.
bool attackedOnPlacement(const u8 placement[64], unsigned square, unsigned byColour) {
  ChessBoardNode probe;
  probe.bbAllPiece = 0;
  probe.bbColorPiece[BLACK] = probe.bbColorPiece[WHITE] = 0;
  memset(probe.bbPiece, 0, sizeof(probe.bbPiece));
  memset(probe.pieceArray, 0, sizeof(probe.pieceArray));
  for (unsigned sq = 0; sq < 64; sq++) {
    if (!placement[sq]) continue;
    u64 bit = 1ULL << sq;
    probe.bbPiece[placement[sq]] |= bit;
    probe.bbColorPiece[placement[sq] / 7] |= bit;
    probe.bbAllPiece |= bit;
    probe.pieceArray[sq] = (u8)(placement[sq] % 7);
  }
  return probe.isAttacked(square, (int)byColour) != 0;
}

// The fields of a FEN string as read, before the position checks.
struct FenFields {
  u8 placement[64] = {0};  // composite piece index by square, 0 empty
  unsigned counts[14] = {0};
  unsigned side = WHITE;
  unsigned castle = 0;
  unsigned epFile = 0;  // file + 1, 0 for none
  unsigned clock = 0;
};

// Reads the placement, the side to move, the castling and en-passant
// fields, the fifty-move clock and the move number; false when the text is
// no FEN string. The move number may be missing, and text after it is
// ignored.
bool readFenFields(const char* fen, FenFields& f) {
  bool epDash = false, epLetter = false, epDigit = false;
  int digits = 0;

  enum { PLACEMENT, RANK_END, SEPARATOR, SIDE, CASTLING = 5, EN_PASSANT, CLOCK, MOVE_NUMBER, REST };
  int state = PLACEMENT, next = PLACEMENT;
  int rank = 7, file = 0;

  for (const char* p = fen; *p; p++) {
    char c = *p;
    switch (state) {
      case PLACEMENT: {
        unsigned type, colour;
        if ((type = fenPieceType(c, txtCheckFENPiecesBlack)) != 0) {
          colour = BLACK;
        } else if ((type = fenPieceType(c, txtCheckFENPiecesWhite)) != 0) {
          colour = WHITE;
        } else if (c >= '1' && c <= '8') {
          type = 0;
          colour = 0;
          file += c - '0';
        } else {
          return false;
        }
        if (type) {
          if (file > 7) return false;
          unsigned index = colour * 7 + type;
          f.counts[index]++;
          f.placement[rank * 8 + file] = (u8)index;
          file++;
        }
        if (file > 8) return false;
        if (file == 8) {
          if (rank == 0) {
            state = SEPARATOR;
            next = SIDE;
          } else {
            state = RANK_END;
          }
        }
        break;
      }
      case RANK_END:
        if (c != '/') return false;
        rank--;
        file = 0;
        state = PLACEMENT;
        break;
      case SEPARATOR:
        if (c != ' ') return false;
        state = next;
        break;
      case SIDE:
        if (c == 'w')
          f.side = WHITE;
        else if (c == 'b')
          f.side = BLACK;
        else
          return false;
        state = SEPARATOR;
        next = CASTLING;
        break;
      case CASTLING:
        if (c == 'K')
          f.castle |= CASTLE_WK;
        else if (c == 'Q')
          f.castle |= CASTLE_WQ;
        else if (c == 'k')
          f.castle |= CASTLE_BK;
        else if (c == 'q')
          f.castle |= CASTLE_BQ;
        else if (c == ' ')
          state = EN_PASSANT;
        else if (c != '-')
          return false;
        break;
      case EN_PASSANT:
        if (c == '-' && !epDash && !epLetter) {
          epDash = true;
        } else if (isFileLetter(c) && !epDash && !epLetter) {
          epLetter = true;
          f.epFile = (unsigned)(c - 'a') + 1;
        } else if (c >= '1' && c <= '8' && epLetter && !epDigit) {
          epDigit = true;  // the rank follows from the side to move
        } else if (c == ' ' && (epDash || epLetter)) {
          if (epDash) f.epFile = 0;
          state = CLOCK;
          digits = 0;
        } else {
          return false;  // an empty field, a second letter or digit, a lone digit
        }
        break;
      case CLOCK:
        if (isDigit(c)) {
          if (++digits > MAX_FEN_DIGITS) return false;
        } else if (c == ' ') {
          // The clock is a byte: read digit by digit, modulo 256.
          f.clock = 0;
          for (const char* d = p - digits; d < p; d++)
            f.clock = (f.clock * 10 + (unsigned)(*d - '0')) & 255;
          state = MOVE_NUMBER;
          digits = 0;
        } else {
          state = REST;
        }
        break;
      case MOVE_NUMBER:
        // The move number is checked but never used.
        if (isDigit(c)) {
          if (++digits > MAX_FEN_DIGITS) return false;
        } else {
          state = REST;
        }
        break;
      default: break;
    }
  }
  return state == CLOCK || state == MOVE_NUMBER || state == REST;
}

// Whether a read placement can stand in a game with `side` to move.
bool plausiblePlacement(const u8 placement[64], const unsigned counts[14], unsigned side) {
  // Piece counts a game can reach: one king each; at most 8 pawns, and no
  // more pawns plus promoted pieces (knights, bishops or rooks beyond 2,
  // queens beyond 1) than the 8 pawns a side starts with.
  for (unsigned colour = BLACK; colour <= WHITE; colour++) {
    const unsigned* n = counts + colour * 7;
    if (n[KING] != 1 || n[PAWN] > 8) return false;
    if (n[KNIGHT] > 9 || n[BISHOP] > 9 || n[ROOK] > 9 || n[QUEEN] > 9) return false;
    unsigned extra = 0;
    if (n[KNIGHT] > 2) extra += n[KNIGHT] - 2;
    if (n[BISHOP] > 2) extra += n[BISHOP] - 2;
    if (n[ROOK] > 2) extra += n[ROOK] - 2;
    if (n[QUEEN] > 1) extra += n[QUEEN] - 1;
    if (n[PAWN] + extra > 8) return false;
  }
  // No pawn on the first or last rank.
  for (unsigned f = 0; f < 8; f++) {
    if (placement[f] % 7 == PAWN || placement[56 + f] % 7 == PAWN) return false;
  }
  unsigned kingSq[2] = {0, 0};
  for (unsigned sq = 0; sq < 64; sq++)
    if (placement[sq] && placement[sq] % 7 == KING) kingSq[placement[sq] / 7] = sq;
  // The side that has just moved cannot have left its king in check.
  return !attackedOnPlacement(placement, kingSq[side ^ 1], side);
}

// The castle rights that stand on the placement: each only with the king
// and that rook at home.
unsigned standingCastleRights(const u8 placement[64], unsigned castle) {
  const u8 whiteKing = WHITE * 7 + KING, whiteRook = WHITE * 7 + ROOK;
  const u8 blackKing = BLACK * 7 + KING, blackRook = BLACK * 7 + ROOK;
  if (placement[4] != whiteKing) castle &= ~(unsigned)(CASTLE_WK | CASTLE_WQ);
  if (placement[7] != whiteRook) castle &= ~(unsigned)CASTLE_WK;
  if (placement[0] != whiteRook) castle &= ~(unsigned)CASTLE_WQ;
  if (placement[60] != blackKing) castle &= ~(unsigned)(CASTLE_BK | CASTLE_BQ);
  if (placement[63] != blackRook) castle &= ~(unsigned)CASTLE_BK;
  if (placement[56] != blackRook) castle &= ~(unsigned)CASTLE_BQ;
  return castle;
}

// The en-passant file (file + 1, 0 for none) that stands on the placement
// with side to move: only where the opponent's pawn can just have made its
// double step, that pawn in front of the target square, the target and the
// pawn's origin empty. The target comes from the file and the side to move,
// as after a double step in a game.
unsigned standingEnPassantFile(const u8 placement[64], unsigned side, unsigned epFile) {
  if (epFile) {
    unsigned f = epFile - 1;
    unsigned target = side == WHITE ? 40 + f : 16 + f;
    unsigned pawnSq = side == WHITE ? target - 8 : target + 8;
    unsigned origin = side == WHITE ? target + 8 : target - 8;
    if (placement[pawnSq] != (side ^ 1) * 7 + PAWN || placement[target] || placement[origin])
      epFile = 0;
  }
  return epFile;
}

}  // namespace

int ChessBoard::setFENPosition(const char* fen) {
  // Everything is read and checked first; the engine object is touched only
  // once the whole string has been accepted.
  FenFields f;
  if (!readFenFields(fen, f) || !plausiblePlacement(f.placement, f.counts, f.side)) return 0;
  const unsigned castle = standingCastleRights(f.placement, f.castle);
  const unsigned epFile = standingEnPassantFile(f.placement, f.side, f.epFile);

  // Accepted: set up the game position.
  // 1-3. An empty record and move entry, key history and ordering tables.
  clearGameRecord();
  // 4-5. The placement with its sums, then the parsed rights and counters.
  placePieces(f.placement);
  currentNode.castleRights = (u8)castle;
  currentNode.sideToMove = f.side;
  currentNode.opponent = f.side ^ 1;
  currentNode.enPassantFile = (u8)epFile;
  currentNode.halfMoveClock = (u8)f.clock;
  // 6-9. The display copy, the move list and the key.
  buildLegalMoves();
  currentNode.hashKey = currentNode.createHashKey();
  updatePieces();
  return 1;
}

int ChessBoard::getFENPosition(char* out) {
  char* o = out;
  for (int rank = 7; rank >= 0; rank--) {
    int empty = 0;
    for (int file = 0; file < 8; file++) {
      unsigned sq = (unsigned)(rank * 8 + file);
      unsigned type = currentNode.pieceArray[sq];
      if (type == 0 || type > KING) {
        empty++;
        continue;
      }
      if (empty) *o++ = (char)('0' + empty);
      empty = 0;
      bool white = (currentNode.bbColorPiece[WHITE] >> sq) & 1;
      *o++ = (white ? txtCheckFENPiecesWhite : txtCheckFENPiecesBlack)[type - 1];
    }
    if (empty) *o++ = (char)('0' + empty);
    if (rank) *o++ = '/';
  }
  *o++ = ' ';
  *o++ = currentNode.sideToMove == WHITE ? 'w' : 'b';
  *o++ = ' ';
  u8 rights = currentNode.castleRights;
  if (rights & CASTLE_WK) *o++ = 'K';
  if (rights & CASTLE_WQ) *o++ = 'Q';
  if (rights & CASTLE_BK) *o++ = 'k';
  if (rights & CASTLE_BQ) *o++ = 'q';
  if (!(rights & (CASTLE_WK | CASTLE_WQ | CASTLE_BK | CASTLE_BQ))) *o++ = '-';
  *o++ = ' ';
  if (currentNode.enPassantFile >= 1 && currentNode.enPassantFile <= 8) {
    *o++ = (char)('a' + currentNode.enPassantFile - 1);
    *o++ = currentNode.sideToMove == WHITE ? '6' : '3';
  } else {
    *o++ = '-';
  }
  strcpy(o, " 0 1 ");
  return 1;
}

int ChessBoard::reverseFENPosition(char* src, char* dst) {
  // 1. The placement ends at the first blank; its ranks are the pieces
  //    between the slashes.
  size_t placementEnd = 0;
  while (src[placementEnd] && src[placementEnd] != ' ') placementEnd++;
  const char* rankStart[8];
  size_t rankLen[8];
  int ranks = 0;
  size_t begin = 0;
  for (size_t i = 0; i <= placementEnd && ranks < 8; i++) {
    if (i == placementEnd || src[i] == '/') {
      rankStart[ranks] = src + begin;
      rankLen[ranks] = i - begin;
      ranks++;
      begin = i + 1;
    }
  }
  // A placement of more than eight ranks keeps its surplus in the last one.
  if (ranks == 8) rankLen[7] = placementEnd - (size_t)(rankStart[7] - src);

  // 2. The ranks in reverse order, each with its colours swapped.
  char* o = dst;
  for (int r = ranks - 1; r >= 0; r--) {
    for (size_t i = 0; i < rankLen[r]; i++) {
      char c = rankStart[r][i];
      if (c >= 'a' && c <= 'z')
        c = (char)(c - 'a' + 'A');
      else if (c >= 'A' && c <= 'Z')
        c = (char)(c - 'A' + 'a');
      *o++ = c;
    }
    if (r) *o++ = '/';
  }

  // 3. The rest: side and castling letters swapped, everything from the
  //    en-passant field on copied as it is.
  int field = 1;
  for (const char* p = src + placementEnd; *p; p++) {
    char c = *p;
    if (c == ' ') {
      field++;
    } else if (field == 2) {
      if (c == 'w')
        c = 'b';
      else if (c == 'b')
        c = 'w';
    } else if (field == 3) {
      if (c == 'K')
        c = 'k';
      else if (c == 'k')
        c = 'K';
      else if (c == 'Q')
        c = 'q';
      else if (c == 'q')
        c = 'Q';
    }
    *o++ = c;
  }
  *o = 0;
  return 1;
}
