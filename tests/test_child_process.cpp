// The child-process helper that the end-to-end tests rely on, checked
// against /bin/cat and /bin/sh.
#include "tests/support/child_process.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <string>
#include <system_error>
#include <vector>

namespace {

using testsupport::ChildProcess;
using testsupport::Millis;
using testsupport::runCommand;
using Clock = std::chrono::steady_clock;

const Millis kShort(5000);

TEST(ChildProcess, ConversationWithCatLineByLine) {
    ChildProcess cat("/bin/cat", {});
    ASSERT_TRUE(cat.writeLine("uci"));
    EXPECT_EQ(cat.readLine(kShort), std::optional<std::string>("uci"));
    ASSERT_TRUE(cat.writeLine("isready"));
    ASSERT_TRUE(cat.writeLine(""));
    ASSERT_TRUE(cat.write("go depth 1\nlast without newline"));
    EXPECT_EQ(cat.readLine(kShort), std::optional<std::string>("isready"));
    EXPECT_EQ(cat.readLine(kShort), std::optional<std::string>(""));
    EXPECT_EQ(cat.readLine(kShort), std::optional<std::string>("go depth 1"));

    // No newline yet: the partial line is held back until end of file.
    EXPECT_FALSE(cat.readLine(Millis(50)).has_value());
    EXPECT_FALSE(cat.atEof());
    cat.closeStdin();
    EXPECT_EQ(cat.readLine(kShort), std::optional<std::string>("last without newline"));
    EXPECT_FALSE(cat.readLine(kShort).has_value());
    EXPECT_TRUE(cat.atEof());

    auto status = cat.wait(kShort);
    EXPECT_TRUE(status.success()) << status.describe();
    EXPECT_FALSE(cat.running());
    EXPECT_FALSE(cat.writeLine("after close"));
}

TEST(ChildProcess, ReadUntilSkipsOtherLines) {
    ChildProcess sh("/bin/sh", {"-c", "echo id name x; echo >&2 noise; echo uciok; echo more"});
    std::vector<std::string> skipped;
    auto line = sh.readUntilPrefix("uciok", kShort, &skipped);
    ASSERT_TRUE(line.has_value());
    EXPECT_EQ(*line, "uciok");
    EXPECT_EQ(skipped, std::vector<std::string>{"id name x"});
    EXPECT_FALSE(sh.readUntilPrefix("bestmove", kShort).has_value());  // end of file
    EXPECT_TRUE(sh.wait(kShort).success());
    EXPECT_EQ(sh.stderrText(), "noise\n");
}

TEST(ChildProcess, TimeoutsAreKeptAndHungChildIsKilled) {
    ChildProcess cat("/bin/cat", {});
    auto start = Clock::now();
    EXPECT_FALSE(cat.readLine(Millis(200)).has_value());
    auto waited = Clock::now() - start;
    EXPECT_GE(waited, Millis(190));
    EXPECT_LT(waited, Millis(3000));

    // cat keeps running while its stdin is open: wait() must give up and kill it.
    start = Clock::now();
    auto status = cat.wait(Millis(200));
    EXPECT_LT(Clock::now() - start, Millis(3000));
    EXPECT_TRUE(status.timedOut);
    EXPECT_FALSE(status.success());
    EXPECT_EQ(status.signal, SIGKILL);
    EXPECT_EQ(cat.wait(kShort).timedOut, true);  // the same status again
}

TEST(ChildProcess, MissingProgramThrows) {
    EXPECT_THROW(ChildProcess("/nonexistent/quarvel", {}), std::system_error);
    EXPECT_THROW(ChildProcess("/bin/cat", {}, {"/nonexistent-dir"}), std::system_error);
}

TEST(RunCommand, CapturesStreamsExitCodeAndSignal) {
    auto r = runCommand({"/bin/sh", "-c", "echo out; echo err >&2; exit 3"}, kShort);
    EXPECT_EQ(r.out, "out\n");
    EXPECT_EQ(r.err, "err\n");
    EXPECT_TRUE(r.status.exited);
    EXPECT_EQ(r.status.code, 3);
    EXPECT_EQ(r.status.describe(), "exit code 3");

    r = runCommand({"/bin/sh", "-c", "kill -TERM $$"}, kShort);
    EXPECT_FALSE(r.status.exited);
    EXPECT_EQ(r.status.signal, SIGTERM);

    r = runCommand({"pwd"}, kShort, "", {"/tmp"});
    EXPECT_EQ(r.out, "/tmp\n");
    EXPECT_TRUE(r.status.success());
}

TEST(RunCommand, LargeInputAndOutputDoNotDeadlock) {
    // Far more than a pipe holds in both directions: cat can only go on
    // writing while the helper reads, and reading while it writes.
    std::string input;
    for (int i = 0; i < 100000; ++i) input += "line " + std::to_string(i) + "\n";
    auto r = runCommand({"/bin/cat"}, Millis(30000), input);
    EXPECT_TRUE(r.status.success()) << r.status.describe();
    EXPECT_EQ(r.out.size(), input.size());
    EXPECT_TRUE(r.out == input);
}

TEST(RunCommand, ChildStillRunningAtTimeoutIsKilled) {
    auto start = Clock::now();
    auto r = runCommand({"/bin/sh", "-c", "echo started; exec sleep 30"}, Millis(300));
    EXPECT_LT(Clock::now() - start, Millis(5000));
    EXPECT_TRUE(r.status.timedOut);
    EXPECT_EQ(r.out, "started\n");
}

}  // namespace
