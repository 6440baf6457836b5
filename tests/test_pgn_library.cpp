// The PGN game library: the reader's main lines, NAGs and tags on small
// files, the tag writer and the tag-line splitter.
#include <gtest/gtest.h>

#include "records/gamelibrary.h"
#include "tests/support/temp_dir.h"

using testsupport::TempDir;

TEST(PgnLibrary, MainLineOfEachGame) {
  using namespace std::string_literals;
  const std::string longToken = "1. " + std::string(5000, 'a') + " 1-0\n";
  const std::string cases[][2] = {
      {"1. e4 e5 2. Nf3 Nc6 1-0\n", "[e4 e5 Nf3 Nc6]"},
      {"1.e4 e5 *\r\n\r\n1. d4\r\nd5 0-1\r\n1-0\n1/2-1/2\n", "[e4 e5][d4 d5][][]"},
      // A NUL byte separates like a blank.
      {"1. e4 \0 e5 2. Nf3\0Nc6 0-1\n"s, "[e4 e5 Nf3 Nc6]"},
      // "0-1" and "*" alone end their game, and so does a result at the
      // end of the file; a game without a result is dropped.
      {"0-1\n\n[Event \"b\"]\n1. d4 1-0\n", "[][d4]"},
      {"*\n\n1. c4 *", "[][c4]"},
      {"1. e4 e5", ""},
      // After a NAG on White's move only 1... keeps Black's; a NAG with no
      // move before it is dropped, and none carries over to the next game.
      {"1. e4 $1 1... e5 $14 1-0\n", "[e4$1 e5$14]"},
      {"1. e4 $1 e5 2. d4 1-0\n", "[e4$1 d4]"},
      {"1. $3 1. e4 1-0\n1. d4 $1 1-0\n1. d4 d5 1-0\n", "[e4][d4$1][d4 d5]"},
      // Variations and comments are skipped, nested or not, each closed by
      // its own kind of bracket; a move written straight before one is kept.
      {"1. e4 (1. d4 (1. c4) d5) e5 1-0\n", "[e4 e5]"},
      {"1. e4 ( a {b ) c} ) 1-0\n", "[e4 c}]"},
      {"{intro} (x) 1. e4{c} e5(1... c5) 2. Nf3!? 1-0{end}\n", "[e4 e5 Nf3!?]"},
      // Move texts are cut at 9 characters, any token at its buffer.
      {"1. exd8=Q+!!?? 1-0\n", "[exd8=Q+!!]"},
      {longToken, "[aaaaaaaaa]"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    ChessGameLibrary library;
    EXPECT_EQ(library.load(dir.write("g.pgn", c[0])), 1);
    std::string games;
    for (const ChessGame* g : library.gameList) {
      games += "[";
      for (const ChessGameMove& m : g->moves)
        games += (&m == &g->moves[0] ? "" : " ") + std::string(m.text) +
                 (m.nag ? "$" + std::to_string(m.nag) : "");
      games += "]";
    }
    EXPECT_EQ(games, c[1]) << c[0];
  }
}

TEST(PgnLibrary, TagsReadAndWritten) {
  TempDir dir;
  ChessGameLibrary library;
  const std::string file = dir.write(
      "tags.pgn",
      "[Event \"A\"]\n[Site \"s\"]\n[Date \"d\"]\n[Round \"3\"]\n[White \"W\"]\n[Black \"B\"]\n"
      "[Result \"1-0\"]\n[WhiteELO \"2100\"]\n[BlackElo \"2000\"]\n[Source \"so\"]\n[Annotator "
      "\"an\"]\n"
      "[Other \"o\"]\n1. e4 1-0\n\n"
      // A "]" inside a value ends the tag and loses the value, but the next
      // tag's name is read whole; [Name"v"] keeps the last name read.
      "[Event \"x]y\"]\n[Round \"4\"]\n[Site\"z\"]\n[Event \"" +
          std::string(300, 'e') + "\"]\n1. d4 0-1\n");
  ASSERT_EQ(library.load(file), 1);
  ASSERT_EQ(library.gameList.size(), 2u);
  const ChessGame& b = *library.gameList.back();
  EXPECT_EQ(b.round + "|" + b.site + "|" + b.event, "z||" + std::string(PGN_TAG_TEXT_MAX, 'e'));
  // Loading again appends; a missing file or a folder reads nothing.
  EXPECT_EQ(library.load(file), 1);
  EXPECT_EQ(library.load(dir.path + "/missing.pgn") + library.load(dir.folder("f")), 0);
  EXPECT_EQ(library.gameList.size(), 4u);

  // The tag pairs only, BlackELO before WhiteELO, empty fields and zero
  // numbers left out (a game of only those writes nothing).
  ChessGameLibrary first;
  first.gameList.push_back(library.gameList.front());
  library.gameList.pop_front();
  EXPECT_EQ(first.gameList.front()->blackElo, 0);  // BlackElo is not BlackELO
  first.gameList.front()->blackElo = 1999;
  first.gameList.push_back(new ChessGame());
  ASSERT_EQ(first.save(dir.path + "/out.pgn"), 1);
  EXPECT_EQ(
      TempDir::read(dir.path + "/out.pgn"),
      "[Event \"A\"]\n[Site \"s\"]\n[Date \"d\"]\n[Round \"3\"]\n[White \"W\"]\n[Black \"B\"]\n"
      "[Result \"1-0\"]\n[BlackELO \"1999\"]\n[WhiteELO \"2100\"]\n[Source \"so\"]\n[Annotator "
      "\"an\"]\n");
  ChessGameLibrary empty;
  ASSERT_EQ(empty.save(dir.path + "/empty.pgn"), 1);
  EXPECT_EQ(TempDir::read(dir.path + "/empty.pgn"), "");
  EXPECT_EQ(first.save("/dev/full") + first.save(dir.path + "/no/dir.pgn"), 0);
}

TEST(PgnLibrary, TagLineSplitter) {
  char name[PGN_TAG_TEXT_MAX + 1] = {}, value[PGN_TAG_TEXT_MAX + 1] = {};
  char line[] = "[Event \"Value\"]";
  pgnReadParam(line, name, value);
  EXPECT_EQ(std::string(name) + "|" + value, "Event |Value");
  std::string longLine = "[" + std::string(400, 'n') + "\"" + std::string(400, 'v');
  char n2[PGN_TAG_TEXT_MAX + 1] = {}, v2[PGN_TAG_TEXT_MAX + 1] = {};
  pgnReadParam(&longLine[0], n2, v2);
  EXPECT_EQ(std::string(n2) + std::string(v2), std::string(255, 'n') + std::string(255, 'v'));
}
