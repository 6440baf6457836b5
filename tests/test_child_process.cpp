// The child-process helper that the end-to-end tests rely on, checked
// against /bin/cat and /bin/sh on the paths that passing end-to-end tests
// never take: exit statuses, a child killed at its deadline, and streams
// larger than a pipe. (Line reading is exercised by every end-to-end test.)
#include "tests/support/child_process.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <string>
#include <system_error>

namespace {

using testsupport::ChildProcess;
using testsupport::Millis;
using testsupport::runCommand;
using Clock = std::chrono::steady_clock;

const Millis kShort(5000);

TEST(ChildProcess, ExitStatusesDeadlinesAndLargeStreams) {
  auto r = runCommand({"/bin/sh", "-c", "echo out; echo err >&2; kill -TERM $$"}, kShort);
  EXPECT_EQ(r.out, "out\n");
  EXPECT_EQ(r.err, "err\n");
  EXPECT_EQ(r.status.signal, SIGTERM);
  EXPECT_EQ(runCommand({"/bin/sh", "-c", "exit 3"}, kShort).status.describe(), "exit code 3");
  EXPECT_THROW(ChildProcess("/nonexistent/quarvel", {}), std::system_error);
  // A hung child is killed at its deadline.
  auto start = Clock::now();
  r = runCommand({"/bin/sh", "-c", "echo started; exec sleep 30"}, Millis(300));
  EXPECT_LT(Clock::now() - start, kShort);
  EXPECT_TRUE(r.status.timedOut && !r.status.success());
  EXPECT_EQ(r.out, "started\n");
  // Far more than a pipe holds, in both directions at once.
  std::string input;
  for (int i = 0; i < 100000; ++i) input += "line " + std::to_string(i) + "\n";
  r = runCommand({"/bin/cat"}, Millis(30000), input);
  EXPECT_TRUE(r.status.success()) << r.status.describe();
  EXPECT_TRUE(r.out == input);
}

}  // namespace
