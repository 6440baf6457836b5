// The log facade does nothing and the profiler keeps a fixed table of timed
// stretches, printed on request.
#include "engine/log.h"

#include <sys/time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

int Log::open(const char*) { return 1; }
int Log::print(const char*, ...) { return 1; }
int Log::print(int, const char*, ...) { return 1; }
int Log::startTable(int, int) { return 1; }
int Log::startTableRow() { return 1; }
int Log::endTableRow() { return 1; }
int Log::setTableCol(const char*, int, int) { return 1; }
int Log::setTableColImg(const char*, int, int) { return 1; }
int Log::endTable() { return 1; }
int Log::close() { return 0; }

Profiler gProfiler;

Profiler::Profiler() : entries(new (std::nothrow) ProfilerEntry[PROFILER_ENTRIES]), count(0) {}

Profiler::~Profiler() {
  delete[] entries;
  entries = nullptr;
}

static int64_t microseconds(const ProfilerTime& t) { return t.sec * 1000000 + t.usec; }

void Profiler::stop(const char* name) {
  // 1. Find the entry of that name.
  ProfilerEntry* e = nullptr;
  for (i32 i = 0; i < count && entries; i++) {
    if (strcmp(entries[i].name, name) == 0) {
      e = &entries[i];
      break;
    }
  }
  if (!e) return;
  // 2. The duration keeps seconds and microseconds apart.
  timeval now;
  gettimeofday(&now, nullptr);
  e->stop.sec = now.tv_sec;
  e->stop.usec = now.tv_usec;
  ProfilerTime duration = {e->stop.sec - e->start.sec, e->stop.usec - e->start.usec};
  // 3.
  e->running = 0;
  e->count += 1;
  // 4. The first stretch sets both extremes.
  if (e->count == 1) {
    e->min = duration;
    e->max = duration;
  } else {
    if (microseconds(e->min) > microseconds(duration)) e->min = duration;
    if (microseconds(duration) > microseconds(e->max)) e->max = duration;
  }
  // 5.
  e->total.sec += duration.sec;
  e->total.usec += duration.usec;
}

void Profiler::dump() {
  Log::print("Profiler Result :\n");
  Log::startTable(0, 0);
  Log::startTableRow();
  const char* headers[] = {"Name", "Count", "Total Time", "Average Time", "Min", "Max"};
  for (const char* h : headers) Log::setTableCol(h, 1, 2);
  Log::endTableRow();
  puts("Name, Count, Total Time, Average Time, Min, Max");
  for (i32 i = 0; i < count && entries; i++) {
    const ProfilerEntry& e = entries[i];
    int64_t total = microseconds(e.total);
    double average = e.count ? (double)total / e.count : 0.0;
    char countText[32], totalText[32], averageText[32], minText[32], maxText[32];
    snprintf(countText, sizeof countText, "%8d", e.count);
    snprintf(totalText, sizeof totalText, "%8.6f", (double)total);
    snprintf(averageText, sizeof averageText, "%8.6f", average);
    snprintf(minText, sizeof minText, "%8.6f", (double)microseconds(e.min));
    snprintf(maxText, sizeof maxText, "%8.6f", (double)microseconds(e.max));
    Log::startTableRow();
    Log::setTableCol(e.name, 2, 2);
    Log::setTableCol(countText, 0, 2);
    Log::setTableCol(totalText, 0, 2);
    Log::setTableCol(averageText, 0, 2);
    Log::setTableCol(minText, 0, 2);
    Log::setTableCol(maxText, 0, 2);
    Log::endTableRow();
    printf("%32s %16s %16s %16s %16s %16s\n", e.name, countText, totalText, averageText, minText,
           maxText);
  }
  Log::endTable();
}

void exitOutOfMemory() {
  fputs("out of memory\n", stderr);
  exit(EXIT_FAILURE);
}
