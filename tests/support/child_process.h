// Child processes for end-to-end tests: start a program with pipes on its
// standard streams, talk to it line by line, and collect its exit status,
// never waiting longer than a given timeout.
//
// Interactive use (a GUI talking to the engine):
//
//     testsupport::ChildProcess engine(QUARVEL_BINARY, {});
//     engine.writeLine("uci");
//     auto line = engine.readUntilPrefix("uciok", std::chrono::seconds(5));
//     ASSERT_TRUE(line) << "no uciok";
//     engine.writeLine("quit");
//     engine.closeStdin();
//     auto status = engine.wait(std::chrono::seconds(5));
//     EXPECT_TRUE(status.success()) << status.describe();
//
// One-shot use (a command-line tool):
//
//     auto r = testsupport::runCommand({QUARVEL_BINARY, "-perft", "3"},
//                                      std::chrono::seconds(30));
//     EXPECT_TRUE(r.status.success()) << r.status.describe() << r.err;
//
// Standard error of the child is collected into a buffer (stderrText()) so
// that a chatty child can never block on a full pipe. While the helper waits
// for anything (a line, room to write, the exit), it keeps draining both
// output pipes, so large outputs and inputs do not deadlock.
//
// Creating a ChildProcess sets SIGPIPE to ignored in the test process, so a
// write to a child that has gone away fails with a false result instead of
// killing the test; the child itself starts with the default disposition.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

using Millis = std::chrono::milliseconds;

// How a child ended.
struct ExitStatus {
  bool exited = false;    // ended through exit() or a return from main
  int code = -1;          // its exit code, when exited
  int signal = 0;         // the signal that ended it, when not exited
  bool timedOut = false;  // still running at the deadline: killed with SIGKILL

  // Exited normally with code 0 before the deadline.
  bool success() const { return exited && code == 0 && !timedOut; }
  // "exit code 3", "killed by signal 11", "timed out (killed)": for test messages.
  std::string describe() const;
};

// Spawn options beyond the argument list.
struct SpawnOptions {
  std::string workingDir;  // empty: the test's own working directory
  // Limits of the child in bytes, 0 for none. The data limit bounds its
  // heap and private memory (RLIMIT_DATA), so that an allocation beyond it
  // fails; past the file-size limit a write fails with EFBIG (RLIMIT_FSIZE,
  // with SIGXFSZ ignored so that the signal does not end the child).
  unsigned long long dataLimit = 0;
  unsigned long long fileSizeLimit = 0;
};

class ChildProcess {
public:
  // Starts `program` (a path, or a name looked up in PATH) with `args`
  // (without argv[0]). Throws std::system_error when the program cannot be
  // started (missing file, no permission, bad working directory).
  ChildProcess(const std::string& program, const std::vector<std::string>& args,
               const SpawnOptions& options = SpawnOptions());
  // Kills the child with SIGKILL if it still runs, reaps it, closes the pipes.
  ~ChildProcess();

  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }

  // Writes `line` plus '\n' to the child's standard input. Returns false if
  // stdin is closed, the child has closed its end, or the data could not be
  // written within `timeout` (the child reads nothing and the pipe is full).
  bool writeLine(const std::string& line, Millis timeout = Millis(10000));
  // Writes raw bytes, same rules as writeLine.
  bool write(const std::string& data, Millis timeout = Millis(10000));
  // Closes the child's standard input: the child sees end of file.
  void closeStdin();

  // Next line of standard output without its '\n'. A last line without a
  // newline is returned at end of file. Returns nullopt when no full line
  // arrived within `timeout`, or at end of file (see atEof()).
  std::optional<std::string> readLine(Millis timeout);
  // Reads lines until one satisfies `match` and returns it; the lines
  // passed over are appended to `skipped` when given. `timeout` bounds the
  // whole search. nullopt on timeout or end of file.
  std::optional<std::string> readUntil(const std::function<bool(const std::string&)>& match,
                                       Millis timeout, std::vector<std::string>* skipped = nullptr);
  // readUntil for the first line starting with `prefix`.
  std::optional<std::string> readUntilPrefix(const std::string& prefix, Millis timeout,
                                             std::vector<std::string>* skipped = nullptr);
  // True once standard output has reached end of file and every line
  // has been read.
  bool atEof() const { return outEof_ && outBuf_.empty(); }
  // Everything on standard output not yet returned by readLine; after
  // wait(), that is all the rest of the output. Empties the buffer.
  std::string takeOutput();
  // All of standard error received so far.
  const std::string& stderrText() const { return errText_; }

  // Waits for the child to end, at most `timeout`; on timeout the child is
  // killed with SIGKILL and the status says timedOut. Output keeps being
  // collected meanwhile. Calling it again returns the same status.
  ExitStatus wait(Millis timeout);
  // True until the child has been reaped by wait() (or the destructor).
  bool running() const { return !status_.has_value(); }
  // Sends `sig` to the child if it still runs.
  void kill(int sig);

private:
  using Clock = std::chrono::steady_clock;

  // Waits until a pipe is ready or `deadline` passes, then reads whatever is
  // available on stdout/stderr. With `wantWrite`, also returns as soon as
  // stdin can take more data. Returns true if stdin is writable.
  bool pump(Clock::time_point deadline, bool wantWrite);
  bool reapIfExited();
  static int toPollTimeout(Clock::time_point deadline);

  pid_t pid_ = -1;
  int inFd_ = -1;
  int outFd_ = -1;
  int errFd_ = -1;
  std::string outBuf_;
  std::string errText_;
  bool outEof_ = false;
  bool errEof_ = false;
  std::optional<ExitStatus> status_;
};

// Result of runCommand.
struct CommandResult {
  std::string out;  // all of standard output
  std::string err;  // all of standard error
  ExitStatus status;
};

// Runs argv[0] (a path, or a name looked up in PATH) with the remaining
// arguments to completion: feeds `input` on standard input, closes it, and
// collects all output. A child still running at `timeout` is killed
// (status.timedOut). Throws std::system_error when the program cannot start.
CommandResult runCommand(const std::vector<std::string>& argv, Millis timeout,
                         const std::string& input = std::string(),
                         const SpawnOptions& options = SpawnOptions());

}  // namespace testsupport
