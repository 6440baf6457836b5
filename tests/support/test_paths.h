// Where the tests find the program under test and the test data.
//
// The build passes two definitions to the test binary:
//   QUARVEL_BINARY    path of the program built in the same build tree
//   QUARVEL_DATA_DIR  directory of the test data (EPD suites, perft suite),
//                     tests/data in the source tree unless configured otherwise
//
// A test that needs a data file starts with
//     QUARVEL_REQUIRE_DATA("perftsuite.epd");
// and fails at once when the file is missing: a test without its data has
// checked nothing.
#pragma once

#include <sys/stat.h>

#include <string>

namespace testsupport {

// Path of the program under test.
inline std::string programPath() { return QUARVEL_BINARY; }

// Path of `name` inside the test data directory.
inline std::string dataPath(const std::string& name) {
  return std::string(QUARVEL_DATA_DIR) + "/" + name;
}

// True when `name` exists in the test data directory.
inline bool dataAvailable(const std::string& name) {
  struct stat st;
  return ::stat(dataPath(name).c_str(), &st) == 0;
}

}  // namespace testsupport

// Fails the current test, and returns from it, when the data file `name`
// is missing.
#define QUARVEL_REQUIRE_DATA(name)                                              \
  do {                                                                          \
    if (!::testsupport::dataAvailable(name))                                    \
      GTEST_FAIL() << "test data not found: " << ::testsupport::dataPath(name); \
  } while (0)
