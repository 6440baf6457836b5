#include "tests/support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <system_error>
#include <utility>

namespace testsupport {

namespace {

// Creates a close-on-exec pipe whose two descriptors are both above 2, so
// that wiring them to the child's 0, 1 and 2 can never overwrite one another
// (the test process may run with its own standard input closed).
void makePipe(int fds[2]) {
  if (::pipe2(fds, O_CLOEXEC) != 0)
    throw std::system_error(errno, std::generic_category(), "pipe2");
  for (int i = 0; i < 2; ++i) {
    if (fds[i] > 2) continue;
    int moved = ::fcntl(fds[i], F_DUPFD_CLOEXEC, 3);
    int saved = errno;
    ::close(fds[i]);
    if (moved < 0) {
      ::close(fds[1 - i]);
      throw std::system_error(saved, std::generic_category(), "fcntl(F_DUPFD_CLOEXEC)");
    }
    fds[i] = moved;
  }
}

void closeFd(int& fd) {
  if (fd >= 0) {
    ::close(fd);
    fd = -1;
  }
}

void setNonBlocking(int fd) {
  int flags = ::fcntl(fd, F_GETFL);
  ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

ExitStatus decodeWaitStatus(int st) {
  ExitStatus s;
  if (WIFEXITED(st)) {
    s.exited = true;
    s.code = WEXITSTATUS(st);
  } else if (WIFSIGNALED(st)) {
    s.signal = WTERMSIG(st);
  }
  return s;
}

// Reads everything available on a non-blocking descriptor into `sink`; at end
// of file closes it and sets `eof`.
void drainFd(int& fd, std::string& sink, bool& eof) {
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0) {
      sink.append(buf, static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    // End of file, or an error that leaves nothing more to read.
    closeFd(fd);
    eof = true;
    return;
  }
}

// True when `path` is a 32-bit x86 ELF program: ELF magic, class 1 (32-bit),
// machine 3 (i386).
bool isI386Program(const std::string& path) {
  unsigned char header[20] = {};
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const ssize_t n = ::read(fd, header, sizeof header);
  ::close(fd);
  const unsigned char elfMagic[4] = {0x7f, 'E', 'L', 'F'};
  return n == static_cast<ssize_t>(sizeof header) && std::memcmp(header, elfMagic, 4) == 0 &&
         header[4] == 1 && header[18] == 3 && header[19] == 0;
}

// Sets both the soft and the hard limit; async-signal-safe.
bool limit(int resource, rlim_t bytes) {
  const struct rlimit value = {bytes, bytes};
  return ::setrlimit(resource, &value) == 0;
}

// The command that starts `program`. Where the build names an emulator (a
// machine whose kernel does not run 32-bit x86 programs), a 32-bit program
// starts through it, by its real path: "/proc/self/exe" would name the
// emulator itself once it runs.
std::vector<std::string> commandFor(const std::string& program) {
  const std::string emulator = QUARVEL_EMULATOR;
  if (emulator.empty() || !isI386Program(program)) return {program};
  char resolved[PATH_MAX];
  return {emulator, ::realpath(program.c_str(), resolved) ? std::string(resolved) : program};
}

}  // namespace

std::string ExitStatus::describe() const {
  if (timedOut) return "timed out (killed)";
  if (exited) return "exit code " + std::to_string(code);
  if (signal != 0)
    return "killed by signal " + std::to_string(signal) + " (" + ::strsignal(signal) + ")";
  return "unknown end";
}

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const SpawnOptions& options) {
  // A write to a child that has exited must fail with EPIPE, not kill the test.
  static const bool sigpipeIgnored = [] {
    ::signal(SIGPIPE, SIG_IGN);
    return true;
  }();
  (void)sigpipeIgnored;

  // 1. Everything the child needs is prepared before fork: after it, only
  //    async-signal-safe calls are made in the child.
  std::vector<std::string> argvStrings = commandFor(program);
  argvStrings.insert(argvStrings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& s : argvStrings) argv.push_back(s.data());
  argv.push_back(nullptr);
  const char* workingDir = options.workingDir.empty() ? nullptr : options.workingDir.c_str();
  const rlim_t dataLimit = options.dataLimit, fileSizeLimit = options.fileSizeLimit;

  int inPipe[2], outPipe[2], errPipe[2], execPipe[2];
  makePipe(inPipe);
  makePipe(outPipe);
  makePipe(errPipe);
  makePipe(execPipe);

  pid_ = ::fork();
  if (pid_ < 0) {
    int saved = errno;
    for (int fd : {inPipe[0], inPipe[1], outPipe[0], outPipe[1], errPipe[0], errPipe[1],
                   execPipe[0], execPipe[1]})
      ::close(fd);
    throw std::system_error(saved, std::generic_category(), "fork");
  }

  if (pid_ == 0) {
    // 2. Child: default signal state, pipes on 0/1/2, then exec. All pipe
    //    descriptors are above 2 and close-on-exec, so only the three
    //    dup2 copies survive the exec.
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = SIG_DFL;
    ::sigaction(SIGPIPE, &sa, nullptr);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);

    int err = 0;
    if (::dup2(inPipe[0], 0) < 0 || ::dup2(outPipe[1], 1) < 0 || ::dup2(errPipe[1], 2) < 0)
      err = errno;
    if (err == 0 && workingDir != nullptr && ::chdir(workingDir) != 0) err = errno;
    if (err == 0 && dataLimit != 0 && !limit(RLIMIT_DATA, dataLimit)) err = errno;
    if (err == 0 && fileSizeLimit != 0) {
      sa.sa_handler = SIG_IGN;  // an ignored signal stays ignored across exec
      ::sigaction(SIGXFSZ, &sa, nullptr);
      if (!limit(RLIMIT_FSIZE, fileSizeLimit)) err = errno;
    }
    if (err == 0) {
      ::execvp(argv[0], argv.data());
      err = errno;
    }
    // 3. Tell the parent why the start failed; the exec pipe closes by
    //    itself on a successful exec.
    ssize_t ignored = ::write(execPipe[1], &err, sizeof err);
    (void)ignored;
    ::_exit(127);
  }

  // 4. Parent: keep our ends, then learn from the exec pipe whether the
  //    program really started (end of file) or failed (an errno value).
  ::close(inPipe[0]);
  ::close(outPipe[1]);
  ::close(errPipe[1]);
  ::close(execPipe[1]);
  inFd_ = inPipe[1];
  outFd_ = outPipe[0];
  errFd_ = errPipe[0];

  int childErr = 0;
  ssize_t n;
  do {
    n = ::read(execPipe[0], &childErr, sizeof childErr);
  } while (n < 0 && errno == EINTR);
  ::close(execPipe[0]);
  if (n == static_cast<ssize_t>(sizeof childErr)) {
    int st = 0;
    while (::waitpid(pid_, &st, 0) < 0 && errno == EINTR) {
    }
    status_ = decodeWaitStatus(st);
    closeFd(inFd_);
    closeFd(outFd_);
    closeFd(errFd_);
    throw std::system_error(childErr, std::generic_category(), "cannot start " + program);
  }

  setNonBlocking(inFd_);
  setNonBlocking(outFd_);
  setNonBlocking(errFd_);
}

ChildProcess::~ChildProcess() {
  if (running()) {
    ::kill(pid_, SIGKILL);
    int st = 0;
    while (::waitpid(pid_, &st, 0) < 0 && errno == EINTR) {
    }
  }
  closeFd(inFd_);
  closeFd(outFd_);
  closeFd(errFd_);
}

int ChildProcess::toPollTimeout(Clock::time_point deadline) {
  auto now = Clock::now();
  if (deadline <= now) return 0;
  auto ms = std::chrono::duration_cast<Millis>(deadline - now).count() + 1;
  return static_cast<int>(std::min<long long>(ms, 1000000));
}

bool ChildProcess::pump(Clock::time_point deadline, bool wantWrite) {
  pollfd fds[3];
  int count = 0;
  int outIdx = -1, errIdx = -1, inIdx = -1;
  if (outFd_ >= 0) {
    outIdx = count;
    fds[count++] = {outFd_, POLLIN, 0};
  }
  if (errFd_ >= 0) {
    errIdx = count;
    fds[count++] = {errFd_, POLLIN, 0};
  }
  if (wantWrite && inFd_ >= 0) {
    inIdx = count;
    fds[count++] = {inFd_, POLLOUT, 0};
  }
  int ready = ::poll(fds, static_cast<nfds_t>(count), toPollTimeout(deadline));
  if (ready <= 0) return false;  // timeout, or EINTR: the caller loops
  if (outIdx >= 0 && fds[outIdx].revents != 0) drainFd(outFd_, outBuf_, outEof_);
  if (errIdx >= 0 && fds[errIdx].revents != 0) drainFd(errFd_, errText_, errEof_);
  // POLLERR/POLLHUP on stdin count as writable: the write then fails with EPIPE.
  return inIdx >= 0 && fds[inIdx].revents != 0;
}

bool ChildProcess::write(const std::string& data, Millis timeout) {
  const auto deadline = Clock::now() + timeout;
  size_t off = 0;
  while (off < data.size()) {
    if (inFd_ < 0) return false;
    ssize_t n = ::write(inFd_, data.data() + off, data.size() - off);
    if (n > 0) {
      off += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // Pipe full: keep reading the child's output while it catches up.
      if (Clock::now() >= deadline) return false;
      pump(deadline, true);
      continue;
    }
    return false;  // EPIPE: the child closed its standard input
  }
  return true;
}

bool ChildProcess::writeLine(const std::string& line, Millis timeout) {
  return write(line + "\n", timeout);
}

void ChildProcess::closeStdin() { closeFd(inFd_); }

std::optional<std::string> ChildProcess::readLine(Millis timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    size_t nl = outBuf_.find('\n');
    if (nl != std::string::npos) {
      std::string line = outBuf_.substr(0, nl);
      outBuf_.erase(0, nl + 1);
      return line;
    }
    if (outEof_) {
      if (outBuf_.empty()) return std::nullopt;
      return std::exchange(outBuf_, std::string());
    }
    if (Clock::now() >= deadline) return std::nullopt;
    pump(deadline, false);
  }
}

std::optional<std::string> ChildProcess::readUntil(
    const std::function<bool(const std::string&)>& match, Millis timeout,
    std::vector<std::string>* skipped) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    auto left = std::chrono::duration_cast<Millis>(deadline - Clock::now());
    auto line = readLine(std::max(left, Millis(0)));
    if (!line) return std::nullopt;
    if (match(*line)) return line;
    if (skipped != nullptr) skipped->push_back(std::move(*line));
  }
}

std::optional<std::string> ChildProcess::readUntilPrefix(const std::string& prefix, Millis timeout,
                                                         std::vector<std::string>* skipped) {
  return readUntil(
      [&prefix](const std::string& line) { return line.compare(0, prefix.size(), prefix) == 0; },
      timeout, skipped);
}

std::string ChildProcess::takeOutput() { return std::exchange(outBuf_, std::string()); }

bool ChildProcess::reapIfExited() {
  int st = 0;
  pid_t r;
  do {
    r = ::waitpid(pid_, &st, WNOHANG);
  } while (r < 0 && errno == EINTR);
  if (r == 0) return false;
  status_ = r == pid_ ? decodeWaitStatus(st) : ExitStatus();
  return true;
}

ExitStatus ChildProcess::wait(Millis timeout) {
  if (status_) return *status_;
  const auto deadline = Clock::now() + timeout;
  // 1. Poll for the exit in short steps, collecting output meanwhile so a
  //    child blocked on a full pipe can go on and finish.
  while (!reapIfExited()) {
    auto now = Clock::now();
    if (now >= deadline) {
      ::kill(pid_, SIGKILL);
      int st = 0;
      while (::waitpid(pid_, &st, 0) < 0 && errno == EINTR) {
      }
      status_ = decodeWaitStatus(st);
      status_->timedOut = true;
      break;
    }
    pump(std::min(deadline, now + Millis(5)), false);
  }
  // 2. The child is gone, so everything it wrote is already in the pipes:
  //    read it without waiting (a grandchild may still hold them open).
  for (;;) {
    size_t before = outBuf_.size() + errText_.size();
    bool eofBefore = outEof_ && errEof_;
    if (eofBefore) break;
    pump(Clock::now(), false);
    if (outBuf_.size() + errText_.size() == before && (outEof_ && errEof_) == eofBefore) break;
  }
  return *status_;
}

void ChildProcess::kill(int sig) {
  if (running()) ::kill(pid_, sig);
}

CommandResult runCommand(const std::vector<std::string>& argv, Millis timeout,
                         const std::string& input, const SpawnOptions& options) {
  if (argv.empty()) throw std::invalid_argument("runCommand: empty argument list");
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  ChildProcess child(argv[0], std::vector<std::string>(argv.begin() + 1, argv.end()), options);
  if (!input.empty()) child.write(input, timeout);  // a child may stop reading early
  child.closeStdin();
  auto left = std::chrono::duration_cast<Millis>(deadline - std::chrono::steady_clock::now());
  CommandResult result;
  result.status = child.wait(std::max(left, Millis(0)));
  result.out = child.takeOutput();
  result.err = child.stderrText();
  return result;
}

}  // namespace testsupport
