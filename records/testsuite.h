// Score of a test-suite run.
#pragma once

struct TestSuiteScore {
  bool read = false;  // the file was opened and read to its end
  int good = 0;       // positions judged right
  int total = 0;      // lines read, positions or not
};
