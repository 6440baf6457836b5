// The line reader between standard input and its consumers: lines that
// arrive together, partial lines, over-long lines and the end of input.
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <thread>

#include "engine/input.h"

namespace {

// A pipe with a reader on its read end.
struct PipeInput {
  int fds[2];
  std::unique_ptr<InputLineReader> reader;

  PipeInput() {
    EXPECT_EQ(pipe(fds), 0);
    reader.reset(new InputLineReader(fds[0]));
  }
  ~PipeInput() {
    closeWriter();
    close(fds[0]);
  }
  void write(const std::string& text) {
    for (size_t done = 0; done < text.size();) {
      const ssize_t n = ::write(fds[1], text.data() + done, text.size() - done);
      ASSERT_GT(n, 0);
      done += (size_t)n;
    }
  }
  void closeWriter() {
    if (fds[1] >= 0) close(fds[1]);
    fds[1] = -1;
  }
  std::string line(size_t size = 1 << 20) {
    std::string buf(size, '\0');
    const int n = reader->readLine(&buf[0], size);
    return n < 0 ? "<end>" : buf.substr(0, (size_t)n);
  }
};

}  // namespace

TEST(InputLineReader, LinesTogetherPartialLinesAndTheEnd) {
  PipeInput in;
  EXPECT_FALSE(in.reader->lineWaiting());
  in.write("uci\nisready\ngo dep");
  EXPECT_TRUE(in.reader->lineWaiting());
  EXPECT_EQ(in.line(), "uci");
  // The second line is in the reader's buffer, no longer in the pipe.
  EXPECT_TRUE(in.reader->lineWaiting());
  EXPECT_EQ(in.line(), "isready");
  EXPECT_FALSE(in.reader->lineWaiting());  // a partial line waits for its end
  in.write("th 5\r\nposition startpos\nquit");
  EXPECT_EQ(in.line(), "go depth 5\r");  // a carriage return stays part of the line
  EXPECT_EQ(in.line(4), "pos");          // a small buffer gets the start of the line
  EXPECT_FALSE(in.reader->lineWaiting());
  in.closeWriter();
  EXPECT_TRUE(in.reader->lineWaiting());
  EXPECT_EQ(in.line(), "quit");
  EXPECT_TRUE(in.reader->lineWaiting());  // the end itself is news
  EXPECT_EQ(in.line(), "<end>");
  EXPECT_EQ(in.line(), "<end>");
}

TEST(InputLineReader, LongLinesAreReadWholeUpToTheLimit) {
  PipeInput in;
  const std::string full(INPUT_LINE_MAX, 'a');
  const std::string longer = std::string(INPUT_LINE_MAX, 'b') + std::string(40000, 'c');
  // The lines exceed the pipe's capacity: a second thread writes them while
  // the reader blocks for each.
  std::thread writer([&] {
    in.write(full + "\n" + longer + "\n" + "next\n");
    in.closeWriter();
  });
  EXPECT_EQ(in.line(), full);
  EXPECT_EQ(in.line(), std::string(INPUT_LINE_MAX, 'b'));  // the rest is dropped
  EXPECT_EQ(in.line(), "next");
  EXPECT_EQ(in.line(), "<end>");
  writer.join();
}
