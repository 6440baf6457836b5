// The history journal: the highest counter, and marks that show the
// counters as they stood when opened, nested as the search nests them.
#include <gtest/gtest.h>

#include "engine/historyjournal.h"

TEST(HistoryJournal, MarksShowTheCountersAsTheyStoodWhenOpened) {
  HistoryJournal journal;
  u32 counters[HistoryJournal::COUNTERS] = {};
  journal.raise(counters, 1, 5);
  {
    HistoryMark outer(journal);
    outer.open();
    journal.raise(counters, 1, 2);  // 7
    {
      HistoryMark inner(journal);
      inner.open();
      journal.raise(counters, 1, 3);  // 10
      journal.raise(counters, 2, 4);  // 4
      journal.raise(counters, 2, 1);  // 5
      inner.exchange(counters);
      EXPECT_EQ(counters[1], 7u);
      EXPECT_EQ(counters[2], 0u);
      inner.exchange(counters);
      EXPECT_EQ(counters[1], 10u);
      EXPECT_EQ(counters[2], 5u);
    }  // closed with its node
    {
      HistoryMark sibling(journal);
      sibling.open();
      sibling.exchange(counters);  // nothing raised since it opened
      EXPECT_EQ(counters[2], 5u);
      journal.raise(counters, 3, 6);
      sibling.close();
      sibling.exchange(counters);  // a closed mark shows nothing
      EXPECT_EQ(counters[3], 6u);
    }
    journal.raise(counters, 2, 1);  // 6
    outer.exchange(counters);
    EXPECT_EQ(counters[1], 5u);
    EXPECT_EQ(counters[2], 0u);
    EXPECT_EQ(counters[3], 0u);
    outer.exchange(counters);
    EXPECT_EQ(counters[1], 10u);
    EXPECT_EQ(counters[2], 6u);
    EXPECT_EQ(counters[3], 6u);
  }
  EXPECT_EQ(journal.highest, 10u);
  // A later mark sees none of the notes of the closed ones.
  HistoryMark later(journal);
  later.open();
  journal.raise(counters, 1, 1);
  later.exchange(counters);
  EXPECT_EQ(counters[1], 10u);
  EXPECT_EQ(counters[2], 6u);
  later.exchange(counters);
  later.close();
  journal.clear();
  EXPECT_EQ(journal.highest, 0u);
}
