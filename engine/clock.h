// The monotonic clock that the think driver, the search-time check and the
// WinBoard clocks measure with, immune to changes of the time of day.
#pragma once

#include <cstdint>

// A clock reading in seconds and microseconds.
struct TimeOfDay {
  int64_t sec;
  int64_t usec;
};

// Stores the current reading.
void readClock(TimeOfDay& t);
// Microseconds since a reading (0 if the reading lies in the future).
uint64_t elapsedMicroseconds(const TimeOfDay& since);
