// Line reader for standard input: one buffer between read() and every
// consumer, so that the input poll and the command loop agree on what waits.
#include "engine/input.h"

#include <sys/select.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

InputLineReader::InputLineReader(int descriptor)
    : fd(descriptor), start(0), end(0), endOfInput(false), discarding(false) {}

// A line is complete when its line end is buffered, or when more than
// INPUT_LINE_MAX characters without a line end are buffered (an over-long
// line, cut at INPUT_LINE_MAX).
bool InputLineReader::haveLine() const {
  size_t n = end - start;
  return n > INPUT_LINE_MAX || memchr(buffer + start, '\n', n) != nullptr;
}

// Drops the remainder of an over-long line, up to and including its line end.
void InputLineReader::skipDiscarded() {
  if (!discarding) return;
  const char* nl = static_cast<const char*>(memchr(buffer + start, '\n', end - start));
  if (nl) {
    start = static_cast<size_t>(nl - buffer) + 1;
    discarding = false;
  } else {
    start = end;
  }
}

// One read() into the free end of the buffer. With block set it waits for
// input even on a non-blocking descriptor; otherwise it returns when the
// descriptor has nothing waiting.
void InputLineReader::readSome(bool block) {
  // 1. Move the unread bytes to the front. Callers read only while no line
  //    is complete, so at most INPUT_LINE_MAX bytes are kept and at least as
  //    many are free.
  if (start > 0) {
    memmove(buffer, buffer + start, end - start);
    end -= start;
    start = 0;
  }
  // 2. Read, retrying when a signal interrupts; any failure other than
  //    "try again" ends the input, so that no caller waits forever.
  for (;;) {
    ssize_t n = read(fd, buffer + end, sizeof(buffer) - end);
    if (n > 0) {
      end += static_cast<size_t>(n);
      return;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!block || fd >= FD_SETSIZE) return;
      fd_set readable;
      FD_ZERO(&readable);
      FD_SET(fd, &readable);
      select(fd + 1, &readable, nullptr, nullptr, nullptr);
      continue;
    }
    endOfInput = true;
    return;
  }
}

// Hands out the first buffered line (complete, over-long, or the last one
// before the end of input).
int InputLineReader::takeLine(char* buf, size_t size) {
  const char* first = buffer + start;
  size_t available = end - start;
  const char* nl = static_cast<const char*>(memchr(first, '\n', available));
  size_t length, consumed;
  if (nl) {
    length = static_cast<size_t>(nl - first);
    consumed = length + 1;
    if (length > INPUT_LINE_MAX) length = INPUT_LINE_MAX;
  } else if (available > INPUT_LINE_MAX) {
    length = INPUT_LINE_MAX;
    consumed = available;
    discarding = true;
  } else {
    length = available;
    consumed = available;
  }
  size_t copied = 0;
  if (size > 0) {
    copied = length < size - 1 ? length : size - 1;
    memcpy(buf, first, copied);
    buf[copied] = '\0';
  }
  start += consumed;
  return static_cast<int>(copied);
}

bool InputLineReader::lineWaiting() {
  // Reads as long as the descriptor has bytes waiting and no line is
  // complete: a line may arrive in several pieces, and the end of input is
  // seen only by a read after the last bytes.
  for (;;) {
    skipDiscarded();
    if (haveLine() || endOfInput) return true;
    if (fd < 0 || fd >= FD_SETSIZE) return false;
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(fd, &readable);
    timeval timeout = {0, 0};
    if (select(fd + 1, &readable, nullptr, nullptr, &timeout) <= 0) return false;
    if (!FD_ISSET(fd, &readable)) return false;
    const size_t before = end - start;
    readSome(false);
    if (!endOfInput && end - start == before) return false;
  }
}

void InputLineReader::waitForInput(long microseconds) {
  if (haveLine() || endOfInput || fd < 0 || fd >= FD_SETSIZE) return;
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(fd, &readable);
  timeval timeout = {microseconds / 1000000, microseconds % 1000000};
  select(fd + 1, &readable, nullptr, nullptr, &timeout);
}

int InputLineReader::readLine(char* buf, size_t size) {
  for (;;) {
    skipDiscarded();
    if (haveLine()) return takeLine(buf, size);
    if (endOfInput) {
      if (end > start) return takeLine(buf, size);
      if (size > 0) buf[0] = '\0';
      return -1;
    }
    readSome(true);
  }
}

void InputLineReader::reset() {
  start = end = 0;
  endOfInput = false;
  discarding = false;
}

InputLineReader& standardInput() {
  static InputLineReader reader(STDIN_FILENO);
  return reader;
}

bool inputLineWaiting() { return standardInput().lineWaiting(); }

void waitForInput(long microseconds) { standardInput().waitForInput(microseconds); }

int readInputLine(char* buf, size_t size) { return standardInput().readLine(buf, size); }
