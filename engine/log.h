// Log facade and profiler. The log shows nothing: its operations keep the
// program's trace vocabulary in one place without writing anywhere.
#pragma once

#include <cstdint>

#include "engine/types.h"

class Log {
public:
  static int open(const char* fileName);
  static int print(const char* format, ...);
  static int print(int level, const char* format, ...);
  static int startTable(int, int);
  static int startTableRow();
  static int endTableRow();
  static int setTableCol(const char* text, int, int);
  static int setTableColImg(const char*, int, int);
  static int endTable();
  static int close();
};

// A time of day or a duration: seconds and microseconds, kept apart.
struct ProfilerTime {
  int64_t sec;
  int64_t usec;
};

struct ProfilerEntry {
  char name[32];
  ProfilerTime start;
  ProfilerTime stop;
  ProfilerTime total;  // seconds and microseconds summed separately
  ProfilerTime min;
  ProfilerTime max;
  i32 running;
  i32 count;
};

const int PROFILER_ENTRIES = 64;

class Profiler {
public:
  ProfilerEntry* entries;  // PROFILER_ENTRIES records, owned
  i32 count;               // entries in use

  Profiler();
  ~Profiler();
  Profiler(const Profiler&) = delete;
  Profiler& operator=(const Profiler&) = delete;

  // Ends the timing of the entry of that name; an unknown name does nothing.
  void stop(const char* name);
  // Prints the table of the entries in use to standard output.
  void dump();
};

extern Profiler gProfiler;

// Writes "out of memory" to standard error and ends the process with a
// failure status: what a failed allocation the program cannot do without
// leads to.
[[noreturn]] void exitOutOfMemory();
