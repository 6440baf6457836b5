#include "bench/book/seeded_pgn.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "protocol/chessboarduci.h"

namespace bookbench {

namespace {

// The order in which a position prefers its moves: a mix of its key and
// the move word.
u64 preference(u64 key, ChessMove move) {
  u64 x = key ^ (0x9E3779B97F4A7C15ull * (move + 1));
  x ^= x >> 31;
  x *= 0xBF58476D1CE4E5B9ull;
  return x ^ (x >> 29);
}

// The mover's clock after a ply of a three-minute game, as h:mm:ss: two
// seconds a move.
std::string clockText(unsigned ply) {
  const unsigned seconds = 180 - std::min(180u, 2 * (ply / 2 + 1));
  char text[16];
  snprintf(text, sizeof text, "0:%02u:%02u", seconds / 60, seconds % 60);
  return text;
}

}  // namespace

bool writeSeededPgn(const std::string& path, unsigned games, unsigned plies, unsigned seed,
                    MoveTextStyle style) {
  FILE* out = fopen(path.c_str(), "w");
  if (!out) return false;
  std::mt19937 rng(seed);
  std::geometric_distribution<unsigned> pick(0.55);
  static const char* const RESULTS[3] = {"1-0", "0-1", "1/2-1/2"};
  std::unique_ptr<ChessBoardUCI> board(new ChessBoardUCI());
  board->init(1);
  board->newGame();
  ChessBoardNode& node = board->currentNode;
  for (unsigned g = 0; g < games; g++) {
    board->newGame();
    const char* result = RESULTS[rng() % 3];
    std::string text;
    size_t lineStart = 0;
    for (unsigned ply = 0; ply < plies; ply++) {
      // The preferred moves first; an illegal pick is dropped and drawn again.
      board->buildLegalMoves();
      std::vector<ChessMove> moves;
      for (u32 i = 0; i < board->legalMoveCount; i++) moves.push_back(board->legalMoves[i].move);
      std::sort(moves.begin(), moves.end(), [&](ChessMove a, ChessMove b) {
        return preference(node.hashKey, a) < preference(node.hashKey, b);
      });
      ChessMove move = 0;
      while (!moves.empty() && !move) {
        const size_t at = std::min<size_t>(pick(rng), moves.size() - 1);
        if (node.makeMove(moves[at]))
          move = moves[at];
        else
          node.unMakeMove(moves[at]);
        if (!move) moves.erase(moves.begin() + (long)at);
      }
      if (!move) break;
      char san[12];
      move.textShort(san, board->legalMoves, board->legalMoveCount);
      if (style == MoveTextStyle::Clock) {
        text += (ply == 0 ? "" : " ") + std::to_string(ply / 2 + 1) + (ply % 2 ? "... " : ". ") +
                san + " { [%clk " + clockText(ply) + "] }";
      } else {
        std::string word = (ply % 2 == 0 ? std::to_string(ply / 2 + 1) + ". " : "") + san;
        if (text.size() - lineStart + word.size() > 78) {
          text += "\n";
          lineStart = text.size();
        } else if (!text.empty()) {
          text += " ";
        }
        text += word;
      }
    }
    fprintf(out, "[Event \"Seeded %u\"]\n[Site \"?\"]\n[Result \"%s\"]\n\n%s %s\n\n", g, result,
            text.c_str(), result);
  }
  return fclose(out) == 0;
}

}  // namespace bookbench
