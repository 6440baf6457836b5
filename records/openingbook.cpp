// Opening book: adding moves, the weighted probe and the book file.
//
// The file is little-endian and written field by field without padding, so
// that the 64-bit and the 32-bit builds read and write the same bytes:
//   header  "BOOK", version u32 0x00010001, node count N u32
//   node    key u64, move count M u32, then M move records
//   move    move word u32, games u32, white percent u8, black percent u8
#include "records/openingbook.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/chessboard.h"
#include "engine/log.h"

namespace {

const char BOOK_MAGIC[4] = {'B', 'O', 'O', 'K'};
const u32 BOOK_VERSION = 0x00010001;
const u64 BOOK_HEADER_SIZE = 12;
const u64 BOOK_NODE_SIZE = 12;  // key and move count
const u64 BOOK_MOVE_SIZE = 10;

void put32(std::vector<u8>& out, u32 v) {
  for (int i = 0; i < 4; i++) out.push_back(static_cast<u8>(v >> (8 * i)));
}

void put64(std::vector<u8>& out, u64 v) {
  for (int i = 0; i < 8; i++) out.push_back(static_cast<u8>(v >> (8 * i)));
}

u32 get32(const u8* p) {
  return static_cast<u32>(p[0]) | static_cast<u32>(p[1]) << 8 | static_cast<u32>(p[2]) << 16 |
         static_cast<u32>(p[3]) << 24;
}

u64 get64(const u8* p) { return static_cast<u64>(get32(p)) | static_cast<u64>(get32(p + 4)) << 32; }

// A node of the key with no moves, every entry zero.
ChessOpeningBookNode emptyNode(u64 key) {
  ChessOpeningBookNode node{};
  node.key = key;
  return node;
}

// Ascending order of key, compared unsigned: the order findMove searches.
bool keyLess(const ChessOpeningBookNode& a, const ChessOpeningBookNode& b) { return a.key < b.key; }

// Reads the whole stream; false on a read error.
bool readAll(FILE* file, std::vector<u8>& data) {
  u8 chunk[65536];
  size_t got;
  while ((got = fread(chunk, 1, sizeof chunk, file)) > 0)
    data.insert(data.end(), chunk, chunk + got);
  return !ferror(file);
}

}  // namespace

int ChessOpeningBookNode::addMove(ChessMove move, unsigned int games, unsigned char whitePercent,
                                  unsigned char blackPercent) {
  for (u32 i = 0; i < count && i < BOOK_MAX_MOVES; i++)
    if (moves[i].move == move) return 1;
  if (count >= BOOK_MAX_MOVES) {
    Log::print("max book node reached !!!");
    return 0;
  }
  moves[count].move = move;
  moves[count].games = games;
  moves[count].whitePercent = whitePercent;
  moves[count].blackPercent = blackPercent;
  count++;
  return 1;
}

void ChessOpeningBook::addNode(unsigned long long key, ChessMove move, unsigned int games,
                               unsigned char whitePercent, unsigned char blackPercent) {
  ChessOpeningBookNode* node = findPosition(key);
  if (!node) {
    nodes.push_back(emptyNode(key));
    node = &nodes.back();
  }
  node->addMove(move, games, whitePercent, blackPercent);
}

ChessOpeningBookNode* ChessOpeningBook::findPosition(unsigned long long key) {
  for (ChessOpeningBookNode& node : nodes)
    if (node.key == key) return &node;
  return nullptr;
}

ChessOpeningBookNode* ChessOpeningBook::findPositionFast(unsigned long long key) {
  size_t low = 0, high = nodes.size();  // the range still open: [low, high)
  while (low < high) {
    size_t middle = low + (high - low) / 2;
    u64 middleKey = nodes[middle].key;
    if (middleKey == key) return &nodes[middle];
    if (key < middleKey)
      high = middle;
    else
      low = middle + 1;
  }
  return nullptr;
}

ChessMove ChessOpeningBook::findMove(unsigned long long key) {
  if (nodes.empty()) return emptyMove;
  const ChessOpeningBookNode* node = findPositionFast(key);
  if (!node || node->count == 0) return emptyMove;

  // Weighted choice: entry i replaces the choice with probability
  // games(i) / (games of entries 0..i), which leaves every entry chosen with
  // probability games(i) / total. Two draws are made per entry whatever its
  // count; an entry without games is never chosen, and a node whose entries
  // all lack games answers no move.
  u64 total = 0;
  int chosen = -1;
  unsigned count = std::min<unsigned>(node->count, BOOK_MAX_MOVES);
  for (unsigned i = 0; i < count; i++) {
    u32 draw = static_cast<u32>(rand());
    draw += static_cast<u32>(rand());
    total += node->moves[i].games;
    if (total == 0) continue;
    if (draw % total < node->moves[i].games) chosen = static_cast<int>(i);
  }
  return chosen < 0 ? emptyMove : node->moves[chosen].move;
}

int ChessOpeningBook::load(const std::string& fileName) {
  nodes.clear();
  FILE* file = fopen(fileName.c_str(), "rb");
  if (!file) {
    Log::print(17, "Opening book file not found : %s", fileName.c_str());
    return 0;
  }
  std::vector<u8> data;
  bool readOk = readAll(file, data);
  fclose(file);
  if (data.size() < sizeof BOOK_MAGIC || std::memcmp(data.data(), BOOK_MAGIC, 4) != 0) {
    Log::print(17, "Bad opening book format : %s", fileName.c_str());
    return 0;
  }

  // Every count is checked against the bytes that remain, so a truncated or
  // corrupt file is refused as a whole instead of being read past its end.
  const u8* p = data.data();
  const u64 size = data.size();
  u64 pos = BOOK_HEADER_SIZE;
  bool sound = readOk && size >= BOOK_HEADER_SIZE;
  u32 nodeCount = sound ? get32(p + 8) : 0;
  if (sound && nodeCount > (size - pos) / BOOK_NODE_SIZE) sound = false;

  // A file written by save holds its keys in ascending order: while that
  // holds, a key above the last node's is new and is appended without
  // scanning the book. Any other order falls back to addNode's scan.
  bool ascending = true;
  for (u32 n = 0; sound && n < nodeCount; n++) {
    if (size - pos < BOOK_NODE_SIZE) {
      sound = false;
      break;
    }
    u64 key = get64(p + pos);
    u32 moveCount = get32(p + pos + 8);
    pos += BOOK_NODE_SIZE;
    if (moveCount > (size - pos) / BOOK_MOVE_SIZE) {
      sound = false;
      break;
    }
    if (!nodes.empty() && key < nodes.back().key) ascending = false;
    for (u32 m = 0; m < moveCount; m++, pos += BOOK_MOVE_SIZE) {
      ChessMove move(get32(p + pos));
      u32 games = get32(p + pos + 4);
      u8 white = p[pos + 8], black = p[pos + 9];
      if (ascending && (nodes.empty() || key > nodes.back().key)) {
        nodes.push_back(emptyNode(key));
        nodes.back().addMove(move, games, white, black);
      } else if (ascending && key == nodes.back().key) {
        nodes.back().addMove(move, games, white, black);
      } else {
        addNode(key, move, games, white, black);
      }
    }
  }
  if (!sound) {
    nodes.clear();
    Log::print(17, "Bad opening book format : %s", fileName.c_str());
    return 0;
  }
  // A file out of key order (edited by hand, written by another tool) is
  // put in order, or the binary search of findMove would miss keys.
  if (!ascending) std::sort(nodes.begin(), nodes.end(), keyLess);
  return 1;
}

int ChessOpeningBook::save(const std::string& fileName) {
  FILE* file = fopen(fileName.c_str(), "wb");
  if (!file) return 0;

  // 1. Each node's moves in descending order of games; only a strictly
  //    greater count moves ahead, which fixes the order of equal counts.
  for (ChessOpeningBookNode& node : nodes) {
    unsigned count = std::min<unsigned>(node.count, BOOK_MAX_MOVES);
    for (unsigned i = 0; i < count; i++)
      for (unsigned j = i + 1; j < count; j++)
        if (node.moves[j].games > node.moves[i].games) std::swap(node.moves[i], node.moves[j]);
  }
  // 2. The nodes in ascending order of key (keys are unique), as findMove needs.
  std::sort(nodes.begin(), nodes.end(), keyLess);

  // 3. The file image, each field with its own width.
  std::vector<u8> out;
  out.insert(out.end(), BOOK_MAGIC, BOOK_MAGIC + 4);
  put32(out, BOOK_VERSION);
  put32(out, static_cast<u32>(nodes.size()));
  for (const ChessOpeningBookNode& node : nodes) {
    unsigned count = std::min<unsigned>(node.count, BOOK_MAX_MOVES);
    put64(out, node.key);
    put32(out, count);
    for (unsigned i = 0; i < count; i++) {
      put32(out, node.moves[i].move);
      put32(out, node.moves[i].games);
      out.push_back(node.moves[i].whitePercent);
      out.push_back(node.moves[i].blackPercent);
    }
  }

  // 4. A short write or a failed close (the data may still sit in the
  //    stream's buffer until then) both mean the book was not saved.
  bool written = fwrite(out.data(), 1, out.size(), file) == out.size();
  bool closed = fclose(file) == 0;
  return written && closed ? 1 : 0;
}

void ChessOpeningBook::showMoves(unsigned long long key) {
  const ChessOpeningBookNode* node = findPositionFast(key);
  if (!node) {
    Log::print("OpeningBook : no moves found");
    return;
  }
  Log::print("OpeningBook : found %d moves :", node->count);
  unsigned count = std::min<unsigned>(node->count, BOOK_MAX_MOVES);
  for (unsigned i = 0; i < count; i++) {
    char text[ALGEBRAIC_TEXT_SIZE];
    node->moves[i].move.text(text);
    Log::print("%s : # %d, white %d %%, black %d %%", text, node->moves[i].games,
               node->moves[i].whitePercent, node->moves[i].blackPercent);
  }
}

int ChessBoard::loadOpeningBook(const std::string& file) {
  useBook = 1;
  return openingBook.load(file);
}

void ChessBoard::unloadOpeningBook() {
  useBook = 0;
  openingBook.nodes.clear();
}
