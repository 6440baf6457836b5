// The opening book file: load and save.
//
// The file is little-endian and written field by field without padding, so
// that the 64-bit and the 32-bit builds read and write the same bytes:
//   header  "BOOK", version u32 0x00010001, node count N u32
//   node    key u64, move count M u32, then M move records
//   move    move word u32, games u32, white percent u8, black percent u8
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>

#include "engine/log.h"
#include "records/openingbook.h"

namespace {

const u8 BOOK_MAGIC[4] = {'B', 'O', 'O', 'K'};
const u32 BOOK_VERSION = 0x00010001;
const u64 BOOK_HEADER_SIZE = 12;
const u64 BOOK_NODE_SIZE = 12;  // key and move count
const u64 BOOK_MOVE_SIZE = 10;
// Bytes read or written at a time.
const size_t BOOK_BLOCK_SIZE = 65536;

u32 get32(const u8* p) {
  return static_cast<u32>(p[0]) | static_cast<u32>(p[1]) << 8 | static_cast<u32>(p[2]) << 16 |
         static_cast<u32>(p[3]) << 24;
}

u64 get64(const u8* p) { return static_cast<u64>(get32(p)) | static_cast<u64>(get32(p + 4)) << 32; }

// Hands out a file's bytes field by field, read a block at a time.
class BookReader {
public:
  explicit BookReader(FILE* f) : file(f) {}

  // The next n bytes into out; false at the end of the file or on a read
  // error before n bytes came.
  bool read(u8* out, size_t n) {
    while (n > 0) {
      if (position == length) {
        length = fread(block, 1, sizeof block, file);
        position = 0;
        if (length == 0) return false;
      }
      const size_t take = std::min(n, length - position);
      memcpy(out, block + position, take);
      position += take;
      out += take;
      n -= take;
    }
    return true;
  }

private:
  FILE* file;
  u8 block[BOOK_BLOCK_SIZE];
  size_t position = 0, length = 0;
};

// Collects the fields of the file in a block and writes it when it is full.
class BookWriter {
public:
  explicit BookWriter(FILE* f) : file(f) {}

  void put8(u8 v) { put(&v, 1); }
  void put32(u32 v) {
    const u8 bytes[4] = {(u8)v, (u8)(v >> 8), (u8)(v >> 16), (u8)(v >> 24)};
    put(bytes, 4);
  }
  void put64(u64 v) {
    put32((u32)v);
    put32((u32)(v >> 32));
  }
  void put(const u8* bytes, size_t n) {
    if (length + n > sizeof block) flush();
    memcpy(block + length, bytes, n);
    length += n;
  }
  // Writes what the block holds; false once any write has failed.
  bool flush() {
    if (length > 0 && fwrite(block, 1, length, file) != length) failed = true;
    length = 0;
    return !failed;
  }

private:
  FILE* file;
  u8 block[BOOK_BLOCK_SIZE];
  size_t length = 0;
  bool failed = false;
};

// Ascending order of key, compared unsigned: the order findMove searches.
bool keyLess(const ChessOpeningBookNode& a, const ChessOpeningBookNode& b) { return a.key < b.key; }

// A book read out of key order (a file edited by hand or written by another
// tool) is sorted once. The nodes of one key, each read from consecutive
// records, are then merged in file order by the rule of adding a move: the
// first entry of a move wins, and a node keeps at most 16 moves, those of
// most games.
void putInKeyOrder(ChessOpeningBook& book) {
  // 1. Equal keys stay in file order, which is the order of their moves.
  std::sort(book.nodes.begin(), book.nodes.end(),
            [](const ChessOpeningBookNode& a, const ChessOpeningBookNode& b) {
              return a.key != b.key ? a.key < b.key : a.first < b.first;
            });
  auto sameKey = [](const ChessOpeningBookNode& a, const ChessOpeningBookNode& b) {
    return a.key == b.key;
  };
  if (std::adjacent_find(book.nodes.begin(), book.nodes.end(), sameKey) == book.nodes.end()) return;
  // 2. One node a key, its moves side by side.
  ChessOpeningBook merged;
  merged.nodes.reserve(book.nodes.size());
  merged.moves.reserve(book.moves.size());
  for (const ChessOpeningBookNode& node : book.nodes) {
    if (merged.nodes.empty() || merged.nodes.back().key != node.key) merged.appendNode(node.key);
    merged.addMovesOf(book, node);
  }
  book.nodes.swap(merged.nodes);
  book.moves.swap(merged.moves);
}

// Reads the records after the magic into the empty book; false when the
// file is not a sound book. Every count is checked against the bytes the
// file still holds before anything is read or reserved for it, so a count
// of billions in a short file costs nothing.
bool readRecords(BookReader& in, u64 fileSize, ChessOpeningBook& book) {
  u8 field[BOOK_NODE_SIZE];
  if (fileSize < BOOK_HEADER_SIZE || !in.read(field, 8)) return false;
  const u32 nodeCount = get32(field + 4);  // the version is not checked
  u64 left = fileSize - BOOK_HEADER_SIZE;
  if (nodeCount > left / BOOK_NODE_SIZE) return false;

  // 1. A sound file holds exactly this many move records: the book takes
  //    its whole storage at once instead of growing into twice as much.
  //    A count beyond what an array may hold in this build is a book too
  //    large for memory, like a failed allocation.
  //    A node keeps at most 16 moves, whatever its records hold.
  const u64 moveRoom = std::min((left - nodeCount * BOOK_NODE_SIZE) / BOOK_MOVE_SIZE,
                                (u64)nodeCount * BOOK_MAX_MOVES);
  if (nodeCount > book.nodes.max_size() || moveRoom > book.moves.max_size()) throw std::bad_alloc();
  book.nodes.reserve(nodeCount);
  book.moves.reserve((size_t)moveRoom);

  // 2. The records one by one. Consecutive records of one key merge into
  //    one node; a record without moves makes none.
  bool ascending = true;
  for (u32 n = 0; n < nodeCount; n++) {
    if (left < BOOK_NODE_SIZE || !in.read(field, BOOK_NODE_SIZE)) return false;
    left -= BOOK_NODE_SIZE;
    const u64 key = get64(field);
    const u32 moveCount = get32(field + 8);
    if (moveCount > left / BOOK_MOVE_SIZE) return false;
    left -= moveCount * BOOK_MOVE_SIZE;
    if (moveCount == 0) continue;
    if (book.nodes.empty() || book.nodes.back().key != key) {
      if (!book.nodes.empty() && key < book.nodes.back().key) ascending = false;
      book.appendNode(key);
    }
    for (u32 m = 0; m < moveCount; m++) {
      if (!in.read(field, BOOK_MOVE_SIZE)) return false;
      book.addMove(book.nodes.back(), ChessMove(get32(field)), get32(field + 4), field[8],
                   field[9]);
    }
  }
  // 3. Out of order, findMove's binary search would miss keys.
  if (!ascending) putInKeyOrder(book);
  return true;
}

// Opens a new file beside target (in the same folder, so that it can be
// renamed over it) and names it in tempName; null when none can be made.
// Its name is short whatever the target's, so that a target name near the
// system's longest still gets one.
FILE* createBeside(const std::string& target, std::string& tempName) {
  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  for (int attempt = 0; attempt < 100; attempt++) {
    tempName = folder + ".quarvelbook-" + std::to_string(getpid()) + "-" + std::to_string(attempt) +
               ".tmp";
    const int fd = open(tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      FILE* file = fdopen(fd, "wb");
      if (!file) {
        close(fd);
        unlink(tempName.c_str());
      }
      return file;
    }
    if (errno != EEXIST) return nullptr;
  }
  return nullptr;
}

// Writes the whole book and flushes it; false on any write error.
bool writeRecords(FILE* file, ChessOpeningBook& book) {
  BookWriter out(file);
  out.put(BOOK_MAGIC, sizeof BOOK_MAGIC);
  out.put32(BOOK_VERSION);
  out.put32((u32)book.nodes.size());
  for (const ChessOpeningBookNode& node : book.nodes) {
    out.put64(node.key);
    out.put32(node.count);
    const ChessOpeningBookMove* entries = book.movesOf(node);
    for (u32 i = 0; i < node.count; i++) {
      out.put32(entries[i].move);
      out.put32(entries[i].games);
      out.put8(entries[i].whitePercent);
      out.put8(entries[i].blackPercent);
    }
  }
  return out.flush() && fflush(file) == 0;
}

// Writes the book over the named file itself; 1 when all of it was written.
int writeInPlace(const std::string& name, ChessOpeningBook& book) {
  FILE* file = fopen(name.c_str(), "wb");
  if (!file) return 0;
  const bool written = writeRecords(file, book);
  return fclose(file) == 0 && written ? 1 : 0;
}

}  // namespace

int ChessOpeningBook::load(const std::string& fileName) {
  clear();
  // 1. Opened without waiting: a pipe or a terminal named as the book would
  //    block the open or the first read. Only a regular file is read, since
  //    only it has a size to check the counts against; so a device or a
  //    folder is refused before anything is read.
  const int fd = open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    Log::print(17, "Opening book file not found : %s", fileName.c_str());
    return 0;
  }
  struct stat status;
  FILE* file = fstat(fd, &status) == 0 && S_ISREG(status.st_mode) ? fdopen(fd, "rb") : nullptr;
  if (!file) close(fd);

  // 2. The magic first: a file that is no book (a game collection named by
  //    mistake) is refused after four bytes.
  bool sound = file != nullptr, fits = true;
  if (file) {
    BookReader in(file);
    u8 magic[sizeof BOOK_MAGIC];
    try {
      sound = in.read(magic, sizeof magic) && memcmp(magic, BOOK_MAGIC, sizeof magic) == 0 &&
              readRecords(in, (u64)status.st_size, *this);
    } catch (const std::bad_alloc&) {
      sound = fits = false;  // the engine goes on without the book
    }
    fclose(file);
  }
  if (sound) return 1;

  // 3. Nothing of a refused book stays, nor the memory it took.
  std::vector<ChessOpeningBookNode>().swap(nodes);
  std::vector<ChessOpeningBookMove>().swap(moves);
  Log::print(17, fits ? "Bad opening book format : %s" : "Opening book too large for memory : %s",
             fileName.c_str());
  return 0;
}

int ChessOpeningBook::save(const std::string& fileName) {
  // 1. Each node's moves in descending order of games; only a strictly
  //    greater count moves ahead, which fixes the order of equal counts.
  for (const ChessOpeningBookNode& node : nodes) {
    ChessOpeningBookMove* entries = movesOf(node);
    for (u32 i = 0; i < node.count; i++)
      for (u32 j = i + 1; j < node.count; j++)
        if (entries[j].games > entries[i].games) std::swap(entries[i], entries[j]);
  }
  // 2. The nodes in ascending order of key (keys are unique), as findMove
  //    needs; their moves stay where they are.
  std::sort(nodes.begin(), nodes.end(), keyLess);

  // 3. A book file is replaced only once the new one is complete and on
  //    the disk: it is written beside the old one and renamed over it, so
  //    that a full disk or a failed write leaves the old book as it was.
  //    The file a link names is the one replaced, and it keeps its mode; a
  //    book the user may not write stays as it is.
  char resolved[PATH_MAX];
  const std::string target = realpath(fileName.c_str(), resolved) ? resolved : fileName;
  struct stat status;
  const bool exists = stat(target.c_str(), &status) == 0;
  if (exists && access(target.c_str(), W_OK) != 0) return 0;
  // A device or a pipe named as the book can only be written in place, and
  // so can a book in a folder that takes no new file.
  std::string tempName;
  FILE* file = exists && !S_ISREG(status.st_mode) ? nullptr : createBeside(target, tempName);
  if (!file) {
    const bool inPlace = exists && (!S_ISREG(status.st_mode) || errno == EACCES || errno == EPERM);
    return inPlace ? writeInPlace(target, *this) : 0;
  }
  bool written = writeRecords(file, *this) && fsync(fileno(file)) == 0;
  if (exists) written = fchmod(fileno(file), status.st_mode & 07777) == 0 && written;
  const bool closed = fclose(file) == 0;
  if (written && closed && rename(tempName.c_str(), target.c_str()) == 0) return 1;
  unlink(tempName.c_str());
  return 0;
}
