// The PGN game library: the reader's main line, NAGs and tags on small
// files with known results, the tag writer, and the tag-line splitter.
#include <gtest/gtest.h>

#include <string>

#include "records/gamelibrary.h"
#include "tests/support/temp_dir.h"

namespace {

using testsupport::TempDir;

// The games of a library: each as [moves], a NAG written after its move.
std::string summary(const ChessGameLibrary& library) {
  std::string out;
  for (const ChessGame* g : library.gameList) {
    out += "[";
    for (size_t i = 0; i < g->moves.size(); i++) {
      out += (i ? " " : "") + std::string(g->moves[i].text);
      if (g->moves[i].nag) out += "$" + std::to_string(g->moves[i].nag);
    }
    out += "]";
  }
  return out;
}

std::string readGames(const std::string& pgn) {
  TempDir dir;
  ChessGameLibrary library;
  EXPECT_EQ(library.load(dir.write("games.pgn", pgn)), 1);
  return summary(library);
}

}  // namespace

TEST(PgnLibrary, MainLineOfEachGame) {
  const std::string longToken = "1. " + std::string(5000, 'a') + " 1-0\n";
  const char* cases[][2] = {
      {"1. e4 e5 2. Nf3 Nc6 1-0\n", "[e4 e5 Nf3 Nc6]"},
      {"1.e4 e5 *\r\n\r\n1. d4\r\nd5 0-1\r\n", "[e4 e5][d4 d5]"},
      {"1-0\n\n1/2-1/2\n", "[][]"},
      // "0-1" and "*" alone end their game; so does a result at the end of
      // the file; a game without a result is dropped.
      {"0-1\n\n[Event \"b\"]\n1. d4 1-0\n", "[][d4]"},
      {"*\n\n1. c4 *", "[][c4]"},
      {"1. e4 e5", ""},
      // NAGs: after White's move only 1... keeps Black's move; a NAG with
      // no move before it is dropped.
      {"1. e4 $1 1... e5 $14 1-0\n", "[e4$1 e5$14]"},
      {"1. e4 $1 e5 2. d4 1-0\n", "[e4$1 d4]"},
      {"1. $3 1. e4 1-0\n", "[e4]"},
      // A NAG on White's last move does not carry over to the next game.
      {"1. e4 $1 1-0\n1. d4 d5 1-0\n", "[e4$1][d4 d5]"},
      // Variations and comments are skipped, nested or not; only their own
      // kind of bracket counts; a move written straight before one is kept.
      {"1. e4 (1. d4 (1. c4) d5) e5 1-0\n", "[e4 e5]"},
      {"1. e4 ( a {b ) c} ) 1-0\n", "[e4 c}]"},
      {"1. e4{c} e5(1... c5) 2. Nf3!? 1-0\n", "[e4 e5 Nf3!?]"},
      {"{intro} (x) 1. e4 1-0{end}\n", "[e4]"},
      // Move texts are cut at 9 characters, any token at its buffer.
      {"1. exd8=Q+!!?? 1-0\n", "[exd8=Q+!!]"},
      {longToken.c_str(), "[aaaaaaaaa]"},
  };
  for (const auto& c : cases) EXPECT_EQ(readGames(c[0]), c[1]) << c[0];
}

TEST(PgnLibrary, TagsAsThePgnHoldsThem) {
  TempDir dir;
  ChessGameLibrary library;
  const std::string file = dir.write("tags.pgn",
      "[Event \"A\"]\n[Site \"s\"]\n[Date \"2026.01.02\"]\n[Round \"3\"]\n[White \"W\"]\n"
      "[Black \"B\"]\n[Result \"1-0\"]\n[WhiteELO \"2100\"]\n[BlackElo \"2000\"]\n"
      "[Source \"src\"]\n[Annotator \"ann\"]\n[Unknown \"u\"]\n1. e4 1-0\n\n"
      // A "]" inside a value ends the tag and loses the value, but the next
      // tag's name is read whole; [Name"v"] keeps the last name read.
      "[Event \"x]y\"]\n[Round \"4\"]\n[Site\"z\"]\n[Event \"" + std::string(300, 'e') + "\"]\n"
      "[Event \"twice\"]\n1. d4 0-1\n");
  ASSERT_EQ(library.load(file), 1);
  ASSERT_EQ(library.gameList.size(), 2u);
  const ChessGame& a = *library.gameList.front();
  EXPECT_EQ(a.event + a.site + a.date + a.round + a.white + a.black + a.result + a.source + a.annotator,
            "As2026.01.023WB1-0srcann");
  EXPECT_EQ(a.whiteElo, 2100);
  EXPECT_EQ(a.blackElo, 0);
  const ChessGame& b = *library.gameList.back();
  EXPECT_EQ(b.round, "z");
  EXPECT_EQ(b.event, "twice");
  EXPECT_EQ(b.site, "");

  // Loading again appends; a missing file or a folder reads nothing.
  EXPECT_EQ(library.load(file), 1);
  EXPECT_EQ(library.gameList.size(), 4u);
  EXPECT_EQ(library.load(dir.path + "/missing.pgn"), 0);
  EXPECT_EQ(library.load(dir.folder("games")), 0);
  EXPECT_EQ(library.gameList.size(), 4u);

  // The writer: the tag pairs only, BlackELO before WhiteELO, empty fields
  // and zero numbers left out.
  ChessGameLibrary first;
  first.gameList.push_back(library.gameList.front());
  library.gameList.pop_front();
  first.gameList.front()->blackElo = 1999;
  first.gameList.push_back(new ChessGame());
  ASSERT_EQ(first.save(dir.path + "/out.pgn"), 1);
  EXPECT_EQ(TempDir::read(dir.path + "/out.pgn"),
            "[Event \"A\"]\n[Site \"s\"]\n[Date \"2026.01.02\"]\n[Round \"3\"]\n[White \"W\"]\n"
            "[Black \"B\"]\n[Result \"1-0\"]\n[BlackELO \"1999\"]\n[WhiteELO \"2100\"]\n"
            "[Source \"src\"]\n[Annotator \"ann\"]\n");
  ChessGameLibrary empty;
  ASSERT_EQ(empty.save(dir.path + "/empty.pgn"), 1);
  EXPECT_EQ(TempDir::read(dir.path + "/empty.pgn"), "");
  EXPECT_EQ(first.save("/dev/full"), 0);
  EXPECT_EQ(first.save(dir.path + "/no/such/dir.pgn"), 0);
}

TEST(PgnLibrary, TagLineSplitter) {
  char name[PGN_TAG_TEXT_MAX + 1] = {}, value[PGN_TAG_TEXT_MAX + 1] = {};
  char line[] = "[Event \"Value\"]";
  pgnReadParam(line, name, value);
  EXPECT_STREQ(name, "Event ");
  EXPECT_STREQ(value, "Value");
  std::string longLine = "[" + std::string(400, 'n') + "\"" + std::string(400, 'v');
  char n2[PGN_TAG_TEXT_MAX + 1] = {}, v2[PGN_TAG_TEXT_MAX + 1] = {};
  pgnReadParam(&longLine[0], n2, v2);
  EXPECT_EQ(std::string(n2), std::string(PGN_TAG_TEXT_MAX, 'n'));
  EXPECT_EQ(std::string(v2), std::string(PGN_TAG_TEXT_MAX, 'v'));
  char shortLine[] = "[";
  pgnReadParam(shortLine, n2, v2);
  EXPECT_EQ(std::string(n2), std::string(PGN_TAG_TEXT_MAX, 'n'));
}
