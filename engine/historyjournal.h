// The journal of the history counters: every raise of a counter goes
// through it, which keeps the highest counter and, while marks are open,
// the old value of each counter raised since a mark was opened. A node that
// searches a move before it orders its list opens a mark for that search and
// orders the list with the counters as they stood when it opened it, so
// that the order is the one it would have had with the list ordered first.
#pragma once

#include <cstddef>
#include <vector>

#include "engine/types.h"

class HistoryJournal {
public:
  // Counters of one table: by side, from-square and to-square.
  static constexpr unsigned COUNTERS = 2 * 64 * 64;

  // The highest value any counter has had since the last clear (no counter
  // is higher, as counters only grow between clears).
  u32 highest = 0;

  // Room for one note of every counter and a mark per ply taken at once, so
  // that the search does not allocate as the notes grow.
  HistoryJournal() {
    notes.reserve(COUNTERS);
    marks.reserve(MAX_PLY + 1);
  }

  // No mark open, nothing noted, no counter above 0: with the counters
  // cleared.
  void clear();
  // Raises counter `index` of `counters` by `amount`, first noting its old
  // value for the innermost mark unless that mark has it already.
  void raise(u32* counters, unsigned index, u32 amount) {
    if (!marks.empty() && stamp[index] != marks.back().id) {
      notes.push_back({index, counters[index], stamp[index]});
      stamp[index] = marks.back().id;
    }
    const u32 value = counters[index] += amount;
    if (value > highest) highest = value;
  }
  // Opens a mark: from here on the old value of each raised counter is
  // noted for it.
  void open() { marks.push_back({++serial, notes.size()}); }
  // Exchanges the counters raised since the innermost mark was opened with
  // the values they had then: once to see the counters as they stood, again
  // to return to the present.
  void exchange(u32* counters);
  // Closes the innermost mark. Its notes pass to the mark around it, less
  // those of counters that mark has noted already (with an older value).
  void close();

private:
  // One noted counter: its index, its value when the mark was opened, and
  // the stamp it had before this note.
  struct Note {
    u32 index;
    u32 value;
    u64 previousStamp;
  };
  struct Mark {
    u64 id;
    std::size_t firstNote;
  };
  // The notes of the open marks, innermost last: each mark's own notes
  // follow those of the marks around it, with one note per counter. At most
  // COUNTERS per open mark, and marks nest as deep as the search.
  std::vector<Note> notes;
  std::vector<Mark> marks;
  // The id of the mark that last noted each counter (0: none). Ids are
  // never reused, so that a stale stamp never matches an open mark.
  u64 stamp[COUNTERS] = {};
  u64 serial = 0;
};

// The mark of one node: opened for the search of its first move, closed
// when the node no longer needs it or returns, whichever comes first.
class HistoryMark {
public:
  explicit HistoryMark(HistoryJournal& owner) : journal(owner) {}
  ~HistoryMark() { close(); }
  HistoryMark(const HistoryMark&) = delete;
  HistoryMark& operator=(const HistoryMark&) = delete;

  void open() {
    journal.open();
    isOpen = true;
  }
  void exchange(u32* counters) {
    if (isOpen) journal.exchange(counters);
  }
  void close() {
    if (isOpen) journal.close();
    isOpen = false;
  }

private:
  HistoryJournal& journal;
  bool isOpen = false;
};
