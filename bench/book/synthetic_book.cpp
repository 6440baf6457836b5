#include "bench/book/synthetic_book.h"

#include <cstdio>
#include <vector>

namespace bookbench {

namespace {

void put32(std::vector<u8>& out, u32 v) {
  for (int i = 0; i < 4; i++) out.push_back((u8)(v >> (8 * i)));
}

}  // namespace

bool writeSyntheticBook(const std::string& path, u32 nodes, bool descending, u64 key,
                        ChessMove move) {
  FILE* file = fopen(path.c_str(), "wb");
  if (!file) return false;
  std::vector<u8> out = {'B', 'O', 'O', 'K'};
  put32(out, 0x00010001);
  put32(out, nodes);
  // The given key takes the place of the synthetic key nearest below it,
  // so that the keys stay in order and distinct.
  const u64 step = ~0ull / ((u64)nodes + 1);
  const u64 below = key / step ? key / step - 1 : 0;
  const u32 given = (u32)(below < nodes ? below : (u64)nodes - 1);
  bool written = true;
  for (u32 n = 0; n < nodes && written; n++) {
    const u32 i = descending ? nodes - 1 - n : n;
    const bool real = i == given;
    const u64 k = real ? key : step * ((u64)i + 1);
    put32(out, (u32)k);
    put32(out, (u32)(k >> 32));
    put32(out, 1);
    put32(out, real ? (u32)move : 0x1000 | (i & 0xFFF));
    put32(out, real ? 10 : 1 + i % 97);
    out.push_back((u8)(i % 101));
    out.push_back((u8)(i % 51));
    if (out.size() >= 65536 || n + 1 == nodes) {
      written = fwrite(out.data(), 1, out.size(), file) == out.size();
      out.clear();
    }
  }
  if (nodes == 0) written = fwrite(out.data(), 1, out.size(), file) == out.size();
  return fclose(file) == 0 && written;
}

}  // namespace bookbench
