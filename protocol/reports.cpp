// The perft table and the divide list on standard output.
#include "protocol/reports.h"

#include <cstdio>
#include <cstring>

#include "engine/chessboard.h"
#include "engine/perft.h"
#include "protocol/commandloop.h"

void printPerftTable(ChessBoard* engine, int depth) {
  memset(perftNode, 0, 16 * sizeof(perftNode[0]));
  fputs(
      "depth |        nodes |     captures |          e.p |        check |         mate |"
      "    promotion |       castle \n",
      stdout);
  if (depth > MAX_PERFT_DEPTH) return;
  for (int d = 1; d <= depth; d++) {
    // Each depth is counted afresh from the root; the row shows as soon as
    // it is known.
    clearPerftCounters();
    engine->perft(d, 0);
    storePerftRow(depth + 1 - d);
    sendCommand("% 2d. %12llu %12llu %12llu %12llu %12llu %12llu %12llu", d,
                (unsigned long long)countnode, (unsigned long long)countcapture,
                (unsigned long long)countep, (unsigned long long)countcheck,
                (unsigned long long)countmate, (unsigned long long)countpromotion,
                (unsigned long long)countcastle);
    fflush(stdout);
  }
}

void printDivideList() {
  for (u32 i = 0; i < nbDivide && i < MAX_DIVIDE_ENTRIES; i++)
    sendCommand("%12s : %12llu", listDivide[i].text, (unsigned long long)listDivide[i].count);
}
