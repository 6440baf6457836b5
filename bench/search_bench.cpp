// Search benchmark: a fixed set of positions (openings, middlegames and
// endgames), each searched by the think driver to a fixed depth after
// newGame. Prints the nodes, time and speed of each position and in total;
// the total node count is the signature of the search: it changes only
// when the search itself changes, whatever the machine or build.
//
// Usage: quarvel_bench [extra plies]  (added to every position's depth)
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/chessboard.h"
#include "engine/search.h"
#include "tests/support/quiet_board.h"

namespace {

struct BenchPosition {
  const char* fen;
  int depth;  // plies
};

const BenchPosition POSITIONS[] = {
    // Openings.
    {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 9},
    {"rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - 0 2", 9},
    {"rnbqkb1r/pp1p1ppp/4pn2/2p5/2PP4/2N5/PP2PPPP/R1BQKBNR w KQkq - 0 4", 8},
    {"r1bqkbnr/pppp1ppp/2n5/1B2p3/4P3/5N2/PPPP1PPP/RNBQK2R b KQkq - 3 3", 9},
    {"rnbqkb1r/ppp1pppp/5n2/3p4/3P1B2/5N2/PPP1PPPP/RN1QKB1R b KQkq - 3 3", 9},
    {"r1bqk2r/2ppbppp/p1n2n2/1p2p3/B3P3/5N2/PPPP1PPP/RNBQR1K1 w kq - 0 7", 8},
    {"rnbq1rk1/ppp2pbp/3p1np1/4p3/2PPP3/2N2N2/PP2BPPP/R1BQK2R w KQ - 0 7", 8},
    {"r1bqkb1r/pp3ppp/2nppn2/6B1/3NP3/2N5/PPP2PPP/R2QKB1R w KQkq - 0 7", 8},
    {"rnbqk2r/ppp1bppp/4pn2/3p2B1/2PP4/2N5/PP2PPPP/R2QKBNR w KQkq - 4 5", 8},
    {"r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 4", 8},
    // Middlegames.
    {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", 7},
    {"r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1", 7},
    {"rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8", 7},
    {"r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10", 7},
    {"5rk1/1ppb3p/p1pb4/6q1/3P1p1r/2P1R2P/PP1BQ1P1/5RKN w - - 0 1", 8},
    {"rnbqkb1r/p3pppp/1p6/2ppP3/3N4/2P5/PPP1QPPP/R1B1KB1R w KQkq - 0 1", 8},
    {"r1b1k2r/ppppnppp/2n2q2/2b5/3NP3/2P1B3/PP3PPP/RN1QKB1R w KQkq - 0 1", 8},
    {"2r1nrk1/p2q1ppp/bp1p4/n1pPp3/P1P1P3/2PBB1N1/4QPPP/R4RK1 w - - 0 1", 8},
    {"2kr1bnr/pbpq4/2n1pp2/3p3p/3P1P1B/2N2N1Q/PPP3PP/2KR1B1R w - - 0 1", 8},
    {"r3r1k1/ppqb1ppp/8/4p1NQ/8/2P5/PP3PPP/R3R1K1 b - - 0 1", 8},
    {"r1b2rk1/2q1b1pp/p2ppn2/1p6/3QP3/1BN1B3/PPP3PP/R4RK1 w - - 0 1", 8},
    {"3r1k2/4npp1/1ppr3p/p6P/P2PPPP1/1NR5/5K2/2R5 w - - 0 1", 9},
    {"2q1rr1k/3bbnnp/p2p1pp1/2pPp3/PpP1P1P1/1P2BNNP/2BQ1PRK/7R b - - 0 1", 8},
    {"r1bbk1nr/pp3p1p/2n5/1N4p1/2Np1B2/8/PPP2PPP/2KR1B1R w kq - 0 1", 8},
    // Endgames.
    {"8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", 12},
    {"8/k7/3p4/p2P1p2/P2P1P2/8/8/K7 w - - 0 1", 24},
    {"8/8/8/5k2/8/8/2KP4/8 w - - 0 1", 16},
    {"2r3k1/pppR1pp1/4p3/4P1P1/5P2/1P4K1/P1P5/8 w - - 0 1", 11},
    {"8/5pk1/6p1/8/3R4/6PP/5PK1/1r6 w - - 0 1", 11},
    {"1K1k4/1P6/8/8/8/8/r7/2R5 w - - 0 1", 12},
    {"4b3/p3kp2/6p1/3pP2p/2pP1P2/4K1P1/P3N2P/8 w - - 0 1", 12},
    {"8/8/1p1r1k2/p1pPN1p1/P3KnP1/1P6/8/3R4 b - - 0 1", 10},
    {"8/pp3k2/2p1qp2/2P5/5P2/1R2p1rp/PP2R3/4K2Q b - - 0 1", 9},
    {"6k1/p4p1p/1p4p1/8/3P4/P5P1/1q3PKP/2Q5 w - - 0 1", 10},
};

// Keeps the depth and score of the last reported line; the benchmark prints
// its own lines.
class BenchBoard : public QuietBoard {
public:
  int lastDepth = 0;
  int lastScore = 0;

  int onComputerThinkPV(int depth, PLine& pv, unsigned long long, double) override {
    lastDepth = depth;
    lastScore = pv.count ? pv.moves[0].score : 0;
    return 1;
  }
};

}  // namespace

int main(int argc, char** argv) {
  const int extra = argc > 1 ? atoi(argv[1]) : 0;
  BenchBoard* board = new BenchBoard();
  board->init(32);
  board->useBook = 0;
  u64 totalNodes = 0;
  double totalTime = 0;
  int index = 0;
  for (const BenchPosition& p : POSITIONS) {
    ++index;
    char fen[128];
    snprintf(fen, sizeof fen, "%s", p.fen);
    board->newGame();
    if (!board->setFENPosition(fen)) {
      printf("%2d  bad position: %s\n", index, p.fen);
      return 1;
    }
    board->setEngineSearchMode(MODE_DEPTH, p.depth + extra, 0);
    TimeOfDay start;
    readClock(start);
    board->computerPlay(0);
    const double us = static_cast<double>(elapsedMicroseconds(start));
    char move[ALGEBRAIC_TEXT_SIZE] = "";
    board->lastMove.text(move);
    totalNodes += countNodes;
    totalTime += us;
    printf("%2d  depth %2d  score %6d  move %-10s nodes %12llu  time %8.0f ms  nps %9.0f\n", index,
           board->lastDepth, board->lastScore, move, static_cast<unsigned long long>(countNodes),
           us / 1000, us > 0 ? countNodes * 1e6 / us : 0.0);
  }
  printf("positions %d\n", index);
  printf("total nodes %llu\n", static_cast<unsigned long long>(totalNodes));
  printf("total time %.0f ms\n", totalTime / 1000);
  printf("nps %.0f\n", totalTime > 0 ? totalNodes * 1e6 / totalTime : 0.0);
  printf("signature %llu\n", static_cast<unsigned long long>(totalNodes));
  board->free();
  delete board;
  return 0;
}
