// The memory figures the kernel keeps of a running process.
#pragma once

#include <sys/types.h>

#include <fstream>
#include <string>

namespace testsupport {

// A size field of /proc/<pid>/status ("VmData", "VmHWM", ...) in bytes; 0
// when the process or the field is not there.
inline unsigned long long statusBytes(pid_t pid, const std::string& field) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.compare(0, field.size() + 1, field + ":") == 0)
      return std::stoull(line.substr(field.size() + 1)) * 1024;
  return 0;
}

}  // namespace testsupport
