// The monotonic clock (CLOCK_MONOTONIC).
#include "engine/clock.h"

#include <time.h>

void readClock(TimeOfDay& t) {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  t.sec = static_cast<int64_t>(now.tv_sec);
  t.usec = static_cast<int64_t>(now.tv_nsec / 1000);
}

uint64_t elapsedMicroseconds(const TimeOfDay& since) {
  TimeOfDay now;
  readClock(now);
  int64_t us = (now.sec - since.sec) * 1000000 + (now.usec - since.usec);
  return us > 0 ? static_cast<uint64_t>(us) : 0;
}
