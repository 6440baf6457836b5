// The EPD solver run as the real program, and its report as the tests
// compare it.
#pragma once

#include <cctype>
#include <sstream>
#include <string>

#include "tests/support/child_process.h"
#include "tests/support/slowdown.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_paths.h"

namespace testsupport {

// The test-suite tool on epd with the given seconds a position and no
// input, run in dir, whose quarvel.ini asks for a small table.
inline CommandResult runSuiteTool(const TempDir& dir, const std::string& epd,
                                  const std::string& seconds) {
  dir.write("quarvel.ini", "[Engine]\nHash=4\n");
  SpawnOptions options;
  options.workingDir = dir.path;
  return runCommand({programPath(), "-testsuite", epd, seconds},
                    std::chrono::seconds(120 * kSlowdown), std::string(), options);
}

// The report without the thinking lines ("%2d " and the score's sign).
inline std::string withoutThinking(const std::string& out) {
  std::istringstream in(out);
  std::string report;
  for (std::string l; std::getline(in, l);)
    if (!(l.size() > 3 && isdigit((unsigned char)l[1]) && l[2] == ' ' &&
          (l[3] == '+' || l[3] == '-')))
      report += l + "\n";
  return report;
}

}  // namespace testsupport
