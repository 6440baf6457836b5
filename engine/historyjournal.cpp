// The journal of the history counters: marks, their notes, and the
// exchange that shows the counters as they stood when a mark was opened.
#include "engine/historyjournal.h"

#include <cstddef>
#include <utility>

void HistoryJournal::clear() {
  notes.clear();
  marks.clear();
  highest = 0;
}

void HistoryJournal::exchange(u32* counters) {
  for (std::size_t i = marks.back().firstNote; i < notes.size(); ++i)
    std::swap(counters[notes[i].index], notes[i].value);
}

void HistoryJournal::close() {
  const std::size_t first = marks.back().firstNote;
  marks.pop_back();
  // 1. The outermost mark: nobody needs the notes any more. The stamps stay
  //    and match no later mark.
  if (marks.empty()) {
    notes.clear();
    return;
  }
  // 2. A note of a counter that the mark around has noted before this mark
  //    was opened carries a newer value than that one, and goes; the others
  //    become notes of the mark around, which now has every counter of
  //    these notes.
  const u64 outer = marks.back().id;
  std::size_t kept = first;
  for (std::size_t i = first; i < notes.size(); ++i) {
    const Note note = notes[i];
    stamp[note.index] = outer;
    if (note.previousStamp != outer) notes[kept++] = note;
  }
  notes.resize(kept);
}
