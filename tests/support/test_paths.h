// Where the tests find the program under test and the shared test data.
//
// The build passes two definitions to the test binary:
//   QUARVEL_BINARY    path of the program built in the same build tree
//   QUARVEL_DATA_DIR  directory of the shared test data (EPD suites, perft
//                     suite), which lives beside the checkout and may be absent
//
// A test that needs a data file starts with
//     QUARVEL_REQUIRE_DATA("perftsuite.epd");
// and is skipped (not failed) when the file is missing.
#pragma once

#include <sys/stat.h>

#include <string>

namespace testsupport {

// Path of the program under test.
inline std::string programPath() { return QUARVEL_BINARY; }

// Path of `name` inside the shared test data directory.
inline std::string dataPath(const std::string& name) {
  return std::string(QUARVEL_DATA_DIR) + "/" + name;
}

// True when `name` exists in the shared test data directory.
inline bool dataAvailable(const std::string& name) {
  struct stat st;
  return ::stat(dataPath(name).c_str(), &st) == 0;
}

}  // namespace testsupport

// Skips the current test when the shared data file `name` is missing.
#define QUARVEL_REQUIRE_DATA(name)                                              \
  do {                                                                          \
    if (!::testsupport::dataAvailable(name))                                    \
      GTEST_SKIP() << "test data not found: " << ::testsupport::dataPath(name); \
  } while (0)
