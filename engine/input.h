// Line reader for standard input.
//
// Every line the program reads from standard input goes through one reader
// with its own buffer, so that the search's input poll sees exactly what the
// command loop will read next: a line that arrived in the same read() as an
// earlier one is waiting in the buffer, where select() cannot see it.
#pragma once

#include <cstddef>

// Longest line delivered whole, in characters without the line end. Of a
// longer line the first INPUT_LINE_MAX characters are delivered and the rest
// of it is discarded.
const size_t INPUT_LINE_MAX = 65536;

class InputLineReader {
public:
  // Reads from the descriptor fd, which the reader does not own.
  explicit InputLineReader(int descriptor);
  InputLineReader(const InputLineReader&) = delete;
  InputLineReader& operator=(const InputLineReader&) = delete;

  // True when a whole line, or the end of input, can be had without
  // blocking. Never blocks: it reads only what select() reports waiting.
  bool lineWaiting();

  // Blocks until the descriptor has bytes to read or the timeout passes;
  // returns at once when a line or the end of input is already at hand.
  void waitForInput(long microseconds);

  // Reads the next line, blocking until it is complete or input ends. The
  // line feed is removed and the rest is delivered as sent (a carriage
  // return before the line feed stays; the command loop drops it); at most
  // size - 1 characters are copied to buf, zero-terminated, and the rest of
  // the line is dropped. A last line without a line end is delivered as a
  // line. Returns the number of characters copied, or -1 at the end of
  // input (buf is then "").
  int readLine(char* buf, size_t size);

  // Forgets what was buffered and any end of input seen, for a descriptor
  // that has been made to read another stream.
  void reset();

private:
  int fd;
  size_t start;     // first unread byte of buffer
  size_t end;       // one past the last byte read
  bool endOfInput;  // read() reported the end of input (or failed)
  bool discarding;  // dropping the rest of an over-long line
  char buffer[2 * INPUT_LINE_MAX];

  bool haveLine() const;
  void skipDiscarded();
  void readSome(bool block);
  int takeLine(char* buf, size_t size);
};

// The reader of standard input, shared by the input poll of the search and
// the command loop.
InputLineReader& standardInput();

// Shorthands on standardInput().
bool inputLineWaiting();
void waitForInput(long microseconds);
int readInputLine(char* buf, size_t size);
