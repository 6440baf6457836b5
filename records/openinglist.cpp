// The distinct move sequences of a PGN collection with their game counts:
// a tree of sequences (each entry its last move text and the sequence it
// extends) with a hash index on (parent, text), so that merging a line
// costs one probe per move whatever the size of the collection.
#include <cstring>

#include "records/gamelibrary.h"

namespace {

// FNV-1a over the parent index and the text.
size_t hashOf(u32 parent, const char* text) {
  u32 h = 2166136261u;
  for (int i = 0; i < 4; i++) h = (h ^ ((parent >> (8 * i)) & 0xFF)) * 16777619u;
  for (; *text; text++) h = (h ^ (u8)*text) * 16777619u;
  return h;
}

}  // namespace

size_t ChessGameOpeningList::slotOf(u32 parent, const char* text) const {
  const size_t mask = index.size() - 1;
  size_t slot = hashOf(parent, text) & mask;
  while (index[slot] != 0) {
    const Entry& e = entries[index[slot] - 1];
    if (e.parent == parent && strcmp(e.text, text) == 0) break;
    slot = (slot + 1) & mask;
  }
  return slot;
}

// Doubles the index (at least 1024 slots) and enters every entry again; the
// index is kept at most half full.
void ChessGameOpeningList::grow() {
  std::vector<u32> old;
  old.swap(index);
  index.assign(old.empty() ? 1024 : old.size() * 2, 0);
  for (u32 i = 0; i < entries.size(); i++)
    index[slotOf(entries[i].parent, entries[i].text)] = i + 1;
}

void ChessGameOpeningList::addOpening(ChessGameOpening& opening) {
  // Prefixes in increasing length: the prefix of length L extends the
  // entry of the prefix of length L - 1.
  u32 parent = NO_PARENT;
  const u32 plies = opening.nbMoves < OPENING_MAX_PLIES ? opening.nbMoves : OPENING_MAX_PLIES;
  for (u32 L = 0; L < plies; L++) {
    const char* text = opening.moves[L].text;
    if ((entries.size() + 1) * 2 > index.size()) grow();
    const size_t slot = slotOf(parent, text);
    if (index[slot] != 0) {
      Entry& e = entries[index[slot] - 1];
      e.count++;
      e.draws += opening.draws;
      e.whiteWins += opening.whiteWins;
      e.blackWins += opening.blackWins;
      parent = index[slot] - 1;
      continue;
    }
    Entry e;
    e.parent = parent;
    memcpy(e.text, text, sizeof e.text);
    e.text[PGN_MOVE_TEXT_MAX] = '\0';
    e.count = 1;
    e.blackWins = opening.blackWins;
    e.whiteWins = opening.whiteWins;
    e.draws = opening.draws;
    entries.push_back(e);
    parent = (u32)entries.size() - 1;
    index[slot] = parent + 1;
  }
}
