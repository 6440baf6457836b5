// Basic types shared by the whole engine: the move word, move lists,
// principal variations, game-record entries and the size limits of a game.
#pragma once

#include <cstdint>

typedef uint64_t u64;
typedef uint32_t u32;
typedef int32_t i32;
typedef uint8_t u8;

// Colours and piece codes.
enum { BLACK = 0, WHITE = 1 };
enum { NOPIECE = 0, PAWN = 1, KNIGHT = 2, BISHOP = 3, ROOK = 4, QUEEN = 5, KING = 6 };

// Limits of one game position. The game record holds MAX_GAME_LENGTH plies;
// the key history and the undo stack hold that plus a full search line, so
// that a long game can still be searched to the deepest ply.
const unsigned MAX_GAME_LENGTH = 4096;
const unsigned MAX_PLY = 64;  // deepest search ply + 1
const unsigned HASH_HISTORY_SIZE = MAX_GAME_LENGTH + 2 * MAX_PLY;
const unsigned UNDO_STACK_SIZE = MAX_GAME_LENGTH + 2 * MAX_PLY;
const unsigned MAX_MOVES = 256;      // moves of one position
const unsigned PLY_LIST_SIZE = 257;  // room of one per-ply list

// Scores. A side to move that is checkmated at ply p scores p - MATE_SCORE;
// any score of MATE_THRESHOLD or more in absolute value is a mate score.
const int MATE_SCORE = 32000;
const int MATE_THRESHOLD = 31744;
// Bound of the full search window, beyond every score.
const int FULL_WINDOW = MATE_SCORE + 1;
// Scores beyond this (either sign) count as mate scores for the mate rule
// of the think.
const int MATE_RULE_SCORE = MATE_THRESHOLD - 1;
// Scores beyond this (either sign) are reported as a distance to mate.
const int MATE_REPORT_SCORE = 31799;

// A move is one 32-bit word:
//   bits 0-5 from, 6-11 to, 12-14 moving piece, 15-17 captured piece,
//   18-20 promotion piece, 21 castle, 22 pawn double push, 23 en passant,
//   24-25 check (1) / mate (2) marker.  0 is the empty move.
const u32 MOVE_CASTLE = 1u << 21;
const u32 MOVE_DOUBLE_PUSH = 1u << 22;
const u32 MOVE_EN_PASSANT = 1u << 23;
const u32 MOVE_CHECK = 1u << 24;
const u32 MOVE_MATE = 2u << 24;

struct ChessMoveSort;

// Room of a long or short algebraic move text, terminator included.
const unsigned ALGEBRAIC_TEXT_SIZE = 12;

class ChessMove {
public:
  u32 move;

  constexpr ChessMove(u32 m = 0) : move(m) {}
  constexpr operator u32() const { return move; }

  static constexpr ChessMove make(unsigned from, unsigned to, unsigned piece, unsigned captured = 0,
                                  unsigned promotion = 0, u32 flags = 0) {
    return ChessMove(from | (to << 6) | (piece << 12) | (captured << 15) | (promotion << 18) |
                     flags);
  }

  constexpr unsigned from() const { return move & 63; }
  constexpr unsigned to() const { return (move >> 6) & 63; }
  constexpr unsigned piece() const { return (move >> 12) & 7; }
  constexpr unsigned captured() const { return (move >> 15) & 7; }
  constexpr unsigned promotion() const { return (move >> 18) & 7; }
  constexpr bool isCastle() const { return (move & MOVE_CASTLE) != 0; }
  constexpr bool isDoublePush() const { return (move & MOVE_DOUBLE_PUSH) != 0; }
  constexpr bool isEnPassant() const { return (move & MOVE_EN_PASSANT) != 0; }
  constexpr unsigned marker() const { return (move >> 24) & 3; }

  // Long algebraic text ("e2-e4", "Ng1-f3", "e5xd6 e.p"); out holds
  // ALGEBRAIC_TEXT_SIZE bytes.
  void text(char* out) const;
  // Short algebraic text ("e4", "Nbd7", "exd6"), disambiguated against the
  // move list of the position before the move; out holds
  // ALGEBRAIC_TEXT_SIZE bytes.
  int textShort(char* out, ChessMoveSort* list, unsigned int count) const;
};

struct ChessMoveSort {
  ChessMove move;
  i32 score;
};

// A principal variation.
struct PLine {
  ChessMoveSort moves[MAX_PLY];
  u32 count;
};

// One played move of the game record with its short algebraic text.
struct GameRecordEntry {
  ChessMove move;
  char text[8];
};

extern ChessMove emptyMove;

// Every unit has its own empty-move constants.
static const ChessMove EmptyMove(0);
static const ChessMoveSort EmptyMoveSort = {ChessMove(0), 0};
