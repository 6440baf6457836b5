// Opening-book building: the sequence list of the PGN scan, book bytes of
// small collections written out by hand, the legality of every book move
// of a real collection (played back over UCI), the step-by-step build, and
// the scan of move texts as other programs write them.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <tuple>

#include "bench/book/seeded_pgn.h"
#include "bench/book/stepwise_book.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_board.h"
#include "tests/support/test_paths.h"
#include "tests/test_protocol_session.h"

namespace {

using testsupport::TempDir;

// The scan's list: each entry's moves joined by ".", then count, white
// wins, black wins and draws.
std::string scan(const std::string& pgn, int depth) {
  TempDir dir;
  ChessGameLibrary library;
  ChessGameOpeningList list;
  EXPECT_EQ(library.searchOpening(dir.write("g.pgn", pgn), depth, list), 1);
  std::string out;
  for (const ChessGameOpeningList::Entry& e : list.entries) {
    std::string seq = e.text;
    for (u32 p = e.parent; p != ChessGameOpeningList::NO_PARENT; p = list.entries[p].parent)
      seq = list.entries[p].text + ("." + seq);
    char stats[64];
    snprintf(stats, sizeof stats, ":%u/%u/%u/%u", e.count, e.whiteWins, e.blackWins, e.draws);
    out += (out.empty() ? "" : " ") + seq + stats;
  }
  return out;
}

const std::string EXAMPLE =
    "[Result \"1-0\"]\n1. e4 e5 1-0\n[Result \"0-1\"]\n1. e4 e5 0-1\n[Result \"1-0\"]\n1. e4 c5 "
    "1-0\n";

// The program's book-building tool run to its end.
testsupport::CommandResult buildBookTool(const std::string& pgn, const std::string& book, int depth,
                                         int count) {
  return testsupport::runCommand({testsupport::programPath(), "-buildbook", pgn, book,
                                  std::to_string(depth), std::to_string(count)},
                                 std::chrono::seconds(120));
}

// The pgn-extract program (Debian puts it in /usr/games, which a test's
// PATH may lack); empty when it is not installed.
std::string pgnExtract() {
  const char* path = getenv("PATH");
  std::istringstream dirs(std::string(path ? path : "") + ":/usr/games");
  for (std::string dir; std::getline(dirs, dir, ':');)
    if (!dir.empty() && access((dir + "/pgn-extract").c_str(), X_OK) == 0)
      return dir + "/pgn-extract";
  return "";
}

}  // namespace

TEST(BookBuilding, SequenceListOfTheScan) {
  const char* cases[][2] = {
      {EXAMPLE.c_str(), "e4:3/2/1/0 e4.e5:2/1/1/0 e4.c5:1/1/0/0"},
      // A short game adds nothing; "*" counts no result; a repeated Result
      // tag replaces the earlier.
      {"[Result \"1-0\"]\n1. e4 1-0\n[Result \"*\"]\n1. d4 d5 *\n", "d4:1/0/0/0 d4.d5:1/0/0/0"},
      {"[Result \"1-0\"]\n[Result \"1/2-1/2\"]\n1. c4 c5 1/2-1/2\n", "c4:1/0/0/1 c4.c5:1/0/0/1"},
      // NAGs, comments and variations; a move straight before a bracket.
      {"1. e4 $1 e5 2. Nf3 *\n", "e4:1/0/0/0 e4.e5:1/0/0/0"},
      {"1. e4 $1 1... e5 2. Nf3 *\n", "e4:1/0/0/0 e4.e5:1/0/0/0"},
      {"1. e4{x} (1. d4 d5) e5 *\n", "e4:1/0/0/0 e4.e5:1/0/0/0"},
      // A NAG on White's last move and "0-1" alone end their game cleanly.
      {"1. e4 $1 1-0\n1. d4 d5 1-0\n", "d4:1/0/0/0 d4.d5:1/0/0/0"},
      {"0-1\n\n[Result \"1-0\"]\n1. d4 d5 1-0", "d4:1/1/0/0 d4.d5:1/1/0/0"},
      // A "]" inside a value does not spoil the next tag's name.
      {"[Event \"x]y\"]\n[Result \"0-1\"]\n1. e4 e5 0-1\n", "e4:1/0/1/0 e4.e5:1/0/1/0"},
      // After its plies a game is skipped up to a line that starts with "[".
      {"1. e4 e5 2. Nf3 *\n1. d4 d5 *\n[Event \"x\"]\n1. c4 c5 *\n",
       "e4:1/0/0/0 e4.e5:1/0/0/0 c4:1/0/0/0 c4.c5:1/0/0/0"},
  };
  for (const auto& c : cases) EXPECT_EQ(scan(c[0], 2), c[1]) << c[0];
  EXPECT_EQ(scan(EXAMPLE, 0), "");
  std::string moves;  // a depth above 32 is 32
  for (int i = 1; i <= 40; i++) moves += std::to_string(i) + ". a b ";
  const std::string deep = scan(moves + "*\n", 50);
  EXPECT_EQ(std::count(deep.begin(), deep.end(), ' '), 31);
}

// The list holds, in order, what merging every prefix into a plain list of
// whole sequences gives.
TEST(BookBuilding, ListMatchesPlainListOfSequences) {
  std::mt19937 rng(5);
  ChessGameOpeningList list;
  std::vector<std::pair<std::string, std::vector<u32>>> plain;  // moves, {count, white wins}
  for (int game = 0; game < 3000; game++) {
    ChessGameOpening line{};
    line.nbMoves = rng() % 7;
    line.whiteWins = rng() % 2;
    std::string sequence;
    for (u32 i = 0; i < line.nbMoves; i++) {
      snprintf(line.moves[i].text, sizeof line.moves[i].text, "%c%s", "abc"[rng() % 3],
               rng() % 2 ? "+" : "");
      sequence += std::string(line.moves[i].text) + " ";
      auto at = std::find_if(plain.begin(), plain.end(),
                             [&](const auto& e) { return e.first == sequence; });
      if (at == plain.end())
        plain.push_back({sequence, {1, line.whiteWins}});
      else
        at->second = {at->second[0] + 1, at->second[1] + line.whiteWins};
    }
    list.addOpening(line);
  }
  ASSERT_EQ(list.entries.size(), plain.size());
  for (size_t i = 0; i < plain.size(); i++) {
    const ChessGameOpeningList::Entry& e = list.entries[i];
    const std::string parent =
        e.parent == ChessGameOpeningList::NO_PARENT ? "" : plain[e.parent].first;
    EXPECT_EQ(parent + e.text + " ", plain[i].first);
    EXPECT_EQ(std::vector<u32>({e.count, e.whiteWins}), plain[i].second);
  }
}

TEST(BookBuilding, BookBytesOfSmallCollections) {
  TempDir dir;
  auto board = newTestBoard();
  const u64 start = board->currentNode.hashKey;
  ASSERT_TRUE(playMoves(*board, {"e2e4"}));
  const u64 afterE4 = board->currentNode.hashKey;
  auto push = [](unsigned from, unsigned to) {
    return (u32)ChessMove::make(from, to, PAWN, 0, 0, MOVE_DOUBLE_PUSH);
  };
  const u32 e4 = push(sq("e2"), sq("e4")), e5 = push(sq("e7"), sq("e5")),
            c5 = push(sq("c7"), sq("c5"));
  // The layout: header, then nodes by key, each with its move records.
  auto file = [](std::map<u64, std::vector<std::vector<u32>>> nodes) {
    std::string s = "BOOK";
    auto put = [&s](u64 v, int bytes) {
      for (int i = 0; i < bytes; i++) s += (char)(v >> (8 * i));
    };
    put(0x00010001, 4);
    put(nodes.size(), 4);
    for (const auto& n : nodes) {
      put(n.first, 8);
      put(n.second.size(), 4);
      for (const auto& m : n.second) put(m[0], 4), put(m[1], 4), put(m[2], 1), put(m[3], 1);
    }
    return s;
  };
  auto build = [&](const std::string& pgn, int depth, int count) {
    auto b = newTestBoard();
    EXPECT_EQ(b->buildOpeningBook(dir.write("g.pgn", pgn), dir.path + "/b.bin", depth, count),
              BOOK_BUILT);
    return TempDir::read(dir.path + "/b.bin");
  };
  const std::string count1 =
      file({{start, {{e4, 3, 66, 33}}}, {afterE4, {{e5, 2, 50, 50}, {c5, 1, 100, 0}}}});
  const std::string count2 = file({{start, {{e4, 3, 66, 33}}}, {afterE4, {{e5, 2, 50, 50}}}});
  EXPECT_EQ(count1.size(), 66u);
  EXPECT_EQ(count2.size(), 56u);
  EXPECT_EQ(build(EXAMPLE, 2, 1), count1);
  EXPECT_EQ(build(EXAMPLE, 2, 2), count2);
  EXPECT_EQ(build(EXAMPLE, 0, 1), file({}));
  EXPECT_EQ(build(EXAMPLE, 2, -1), file({}));  // a negative count retains nothing
  // A sequence stops at its first text that names no legal move (Qh4
  // through the e7 pawn; O-O+), and adds nothing for it or after it.
  EXPECT_EQ(build("1. e4 Qh4 2. Nf3 *\n", 3, 1), file({{start, {{e4, 1, 0, 0}}}}));
  EXPECT_EQ(build("1. O-O+ e5 *\n", 2, 1), file({}));

  // The program writes the same bytes and exits 1. A PGN it cannot read
  // leaves the book alone; a book it cannot write completely is reported:
  // exit 0 and one line on standard error.
  const std::string book = dir.path + "/tool.bin", games = dir.write("tool.pgn", EXAMPLE);
  auto tool = [&](const std::string& in, const std::string& out, int code, const std::string& err) {
    auto r = buildBookTool(in, out, 2, 1);
    EXPECT_EQ(r.status.code, code) << in << " " << out;
    EXPECT_EQ(r.out + r.err, err);
  };
  tool(games, book, 1, "");
  for (const std::string& in : {dir.path + "/missing.pgn", dir.folder("folder")})
    tool(in, book, 0, "ERROR : cannot read " + in + " !\n");
  EXPECT_EQ(TempDir::read(book), count1);
  for (const std::string& out :
       {dir.path + "/no/dir.bin", dir.path + "/folder", std::string("/dev/full")})
    tool(games, out, 0, "ERROR : cannot write " + out + " !\n");
}

// The same book as replaying every retained sequence move by move from a
// new game, also where positions are full (the ECO collection's first
// moves); a book loaded before keeps its moves and their statistics.
TEST(BookBuilding, SameBookAsTheStepwiseBuild) {
  TempDir dir;
  const std::string pgn = dir.path + "/seeded.pgn", eco = "/usr/share/pgn-extract/eco.pgn";
  ASSERT_TRUE(bookbench::writeSeededPgn(pgn, 400, 40, 11));
  for (auto [games, depth, count] : {std::make_tuple(pgn, 14, 1), std::make_tuple(pgn, 14, 2),
                                     std::make_tuple(pgn, 14, 5), std::make_tuple(eco, 2, 1)}) {
    ASSERT_TRUE(bookbench::stepwiseBuildBook(games, dir.path + "/stepwise.bin", depth, count));
    auto board = newTestBoard();
    ASSERT_EQ(board->buildOpeningBook(games, dir.path + "/fast.bin", depth, count), BOOK_BUILT);
    EXPECT_EQ(TempDir::read(dir.path + "/fast.bin"), TempDir::read(dir.path + "/stepwise.bin"))
        << games << " " << count;
  }
  auto board = newTestBoard();
  const u64 start = board->currentNode.hashKey;
  const ChessMove a3 = ChessMove::make(sq("a2"), sq("a3"), PAWN);
  board->openingBook.addNode(start, a3, 7, 1, 2);
  ASSERT_EQ(board->buildOpeningBook(pgn, dir.path + "/merged.bin", 6, 1), BOOK_BUILT);
  const ChessOpeningBookNode* node = board->openingBook.findPositionFast(start);
  ASSERT_TRUE(node && node->count > 1);
  const ChessOpeningBookMove* entries = board->openingBook.movesOf(*node);
  auto kept = std::find_if(entries, entries + node->count,
                           [&](const ChessOpeningBookMove& m) { return m.move == a3; });
  EXPECT_EQ(kept->games * 10000 + kept->whitePercent * 100 + kept->blackPercent, 70102u);
}

// A book of the ECO collection holds only legal moves of the positions its
// lines reach, and the program, given it over UCI, answers every one of
// those positions at once with a move of its node.
TEST(BookBuilding, EcoCollectionOverUci) {
  const char* const ECO = "/usr/share/pgn-extract/eco.pgn";
  ChessGameLibrary eco;
  ASSERT_TRUE(eco.load(ECO)) << ECO << " missing (Debian package pgn-extract)";
  ASSERT_EQ(eco.gameList.size(), 2014u);
  TempDir dir;
  const std::string book = dir.path + "/eco.bin";
  auto board = newTestBoard();
  ASSERT_EQ(board->buildOpeningBook(ECO, book, 10, 1), BOOK_BUILT);

  // The positions the lines reach in 10 plies: legal moves and a path.
  std::map<u64, std::pair<std::set<u32>, std::string>> reached;
  for (const ChessGame* game : eco.gameList) {
    board->newGame();
    std::string path;
    for (size_t i = 0; i < game->moves.size() && i < 10; i++) {
      auto& here = reached[board->currentNode.hashKey];
      for (ChessMove m : legalMoves(board->currentNode)) here.first.insert(m);
      here.second = path;
      ChessGameMove text = game->moves[i];
      ChessMove m;
      if (!board->createMove(text.text, m)) break;
      path += " " + coord(m);
      ASSERT_TRUE(playMoves(*board, {coord(m).c_str()}));
    }
  }
  const std::vector<ChessOpeningBookNode>& nodes = board->openingBook.nodes;
  ASSERT_GT(nodes.size(), 500u);
  e2e::Session uci;
  uci.handshake();
  uci.sendAll({"setoption name Book File value " + book, "setoption name OwnBook value true"});
  for (const ChessOpeningBookNode& node : nodes) {
    ASSERT_TRUE(reached.count(node.key));
    const auto& [legal, path] = reached[node.key];
    std::set<std::string> inNode;
    for (u32 i = 0; i < node.count; i++) {
      const ChessMove m = board->openingBook.movesOf(node)[i].move;
      EXPECT_TRUE(legal.count(m)) << path;
      inNode.insert(coord(m));
    }
    uci.sendAll(
        {"position startpos" + (path.empty() ? "" : " moves" + path), "go movetime 600000"});
    const e2e::Answer a = uci.waitBestMove(e2e::scaled(20000));
    EXPECT_TRUE(inNode.count(a.bestmove)) << path << " -> " << a.line;
  }
  EXPECT_TRUE(e2e::endedCleanly(uci.quit()));
}

// Lichess games carry every move's clock in a comment; rewrapped at 75
// columns by pgn-extract, hundreds of lines of their move text start with
// "[%clk". Skipping the rest of a game must not take such a line for the
// next game's first tag: the book is the one of the same games without
// comments, and its start position counts every game once. The library
// reads the same games and main lines as the file holds.
TEST(BookBuilding, ClockCommentsWrappedByPgnExtract) {
  const std::string extract = pgnExtract();
  ASSERT_FALSE(extract.empty()) << "pgn-extract missing (Debian package pgn-extract)";
  TempDir dir;
  const std::string lichess = dir.path + "/lichess.pgn";
  ASSERT_TRUE(bookbench::writeSeededPgn(lichess, 300, 40, 3, bookbench::MoveTextStyle::Clock));
  auto rewrite = [&](std::vector<std::string> options, const std::string& name) {
    options.insert(options.begin(), extract);
    options.push_back(lichess);
    auto r = testsupport::runCommand(options, std::chrono::seconds(60));
    EXPECT_TRUE(r.status.success()) << r.status.describe() << r.err;
    return dir.write(name, r.out);
  };
  const std::string wrapped = rewrite({"-s"}, "wrapped.pgn");
  const std::string plain = rewrite({"-s", "-C", "-w100000"}, "plain.pgn");
  std::istringstream wrappedLines(TempDir::read(wrapped));
  int clockLines = 0;
  for (std::string line; std::getline(wrappedLines, line);)
    clockLines += line.rfind("[%clk", 0) == 0;
  EXPECT_GT(clockLines, 300);
  // The main lines as the comment-free file gives them.
  auto mainLines = [](const std::string& file) {
    ChessGameLibrary library;
    EXPECT_EQ(library.load(file), 1);
    std::vector<std::vector<std::string>> lines;
    for (const ChessGame* game : library.gameList) {
      lines.emplace_back();
      for (const ChessGameMove& m : game->moves) lines.back().push_back(m.text);
    }
    return lines;
  };
  const std::vector<std::vector<std::string>> lines = mainLines(plain);
  ASSERT_EQ(lines.size(), 300u);
  EXPECT_EQ(mainLines(wrapped), lines);

  const int depth = 12;
  const std::string book = dir.path + "/wrapped.bin", reference = dir.path + "/plain.bin";
  EXPECT_EQ(buildBookTool(wrapped, book, depth, 1).status.code, 1);
  EXPECT_EQ(buildBookTool(plain, reference, depth, 1).status.code, 1);
  EXPECT_TRUE(TempDir::read(book) == TempDir::read(reference)) << "the two books differ";
  auto board = newTestBoard();
  ASSERT_EQ(board->openingBook.load(book), 1);
  const ChessOpeningBookNode* start =
      board->openingBook.findPositionFast(board->currentNode.hashKey);
  ASSERT_TRUE(start);
  u32 games = 0;
  for (u32 i = 0; i < start->count; i++) games += board->openingBook.movesOf(*start)[i].games;
  EXPECT_EQ(games, (u32)std::count_if(lines.begin(), lines.end(),
                                      [&](const auto& l) { return (int)l.size() >= depth; }));
}

// A NUL byte in the move text separates two moves like a blank, and a
// promotion letter written straight after the square (bxa8N, as older
// collections write it) names the piece as "=N" does.
TEST(BookBuilding, NulSeparatorAndPromotionLetterThroughTheTool) {
  TempDir dir;
  auto build = [&](const std::string& pgn, int depth, const std::string& name) {
    const std::string book = dir.path + "/" + name + ".bin";
    auto r = buildBookTool(dir.write(name + ".pgn", pgn), book, depth, 1);
    EXPECT_EQ(r.status.code, 1) << r.err;
    return TempDir::read(book);
  };
  const std::string nul = build(std::string("1. e4 \0 e5 2. Nf3\0Nc6 0-1\n", 26), 4, "nul");
  EXPECT_EQ(nul.substr(8, 4), std::string("\4\0\0\0", 4));  // four positions
  EXPECT_EQ(nul, build("1. e4 e5 2. Nf3 Nc6 0-1\n", 4, "blank"));

  const std::string line = "1. e4 d5 2. exd5 c6 3. dxc6 Nf6 4. cxb7 Nbd7 5. bxa8";
  const std::string knight = build(line + "N e5 *\n", 9, "knight");
  EXPECT_EQ(knight, build(line + "=N e5 *\n", 9, "equals"));
  EXPECT_NE(knight, build(line + " e5 *\n", 9, "queen"));
  e2e::Session uci;
  uci.handshake();
  uci.sendAll({"setoption name Book File value " + dir.path + "/knight.bin",
               "setoption name OwnBook value true",
               "position startpos moves e2e4 d7d5 e4d5 c7c6 d5c6 g8f6 c6b7 b8d7",
               "go movetime 600000"});
  EXPECT_EQ(uci.waitBestMove(e2e::scaled(20000)).bestmove, "b7a8n");
  EXPECT_TRUE(e2e::endedCleanly(uci.quit()));
}

// Move text as the PGN standard writes it, from one file of cases: each
// case, and the whole file with its "%" lines, builds the book of the games
// its "% expect" lines give in plain PGN.
TEST(BookBuilding, StandardPgnThroughTheTool) {
  QUARVEL_REQUIRE_DATA("pgn_standard_cases.pgn");
  const std::string file = TempDir::read(testsupport::dataPath("pgn_standard_cases.pgn"));
  std::vector<std::array<std::string, 3>> cases;  // name, case text, expected games
  std::istringstream lines(file);
  std::string all;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("% case ", 0) == 0)
      cases.push_back({line.substr(7), "", ""});
    else if (line.rfind("% expect ", 0) == 0)
      for (std::string* games : {&cases.back()[2], &all})
        *games += "[Event \"e\"]\n" + line.substr(9) + "\n";
    else if (!cases.empty())
      cases.back()[1] += line + "\n";
  }
  ASSERT_EQ(cases.size(), 9u);
  cases.push_back({"the whole file", file, all});
  TempDir dir;
  auto book = [&](const std::string& pgn, const std::string& name) {
    const std::string path = dir.path + "/" + name + ".bin";
    EXPECT_EQ(buildBookTool(dir.write(name + ".pgn", pgn), path, 10, 1).status.code, 1);
    return TempDir::read(path);
  };
  for (const auto& c : cases) EXPECT_TRUE(book(c[1], "case") == book(c[2], "expected")) << c[0];
}

// A full position keeps the moves of most games: a move of more games than
// its least played one takes the place of the last added of those, a move
// of no more games stays out.
TEST(BookBuilding, FullPositionKeepsTheMovesPlayedMost) {
  std::string pgn;
  for (const char* move : {"a3", "a4", "b3", "b4", "c3",  "c4",  "d3", "d4",  "e3", "f3",  "f4",
                           "g3", "g4", "h3", "h4", "Na3", "Nc3", "e4", "Nf3", "e4", "Nf3", "e4"})
    pgn += std::string("[Event \"e\"]\n1. ") + move + " *\n";
  TempDir dir;
  const std::string book = dir.path + "/full.bin";
  ASSERT_EQ(buildBookTool(dir.write("full.pgn", pgn), book, 1, 1).status.code, 1);
  auto board = newTestBoard();
  ASSERT_EQ(board->openingBook.load(book), 1);
  const ChessOpeningBookNode* start =
      board->openingBook.findPositionFast(board->currentNode.hashKey);
  ASSERT_TRUE(start);
  std::map<std::string, u32> kept;
  for (u32 i = 0; i < start->count; i++)
    kept[coord(board->openingBook.movesOf(*start)[i].move)] =
        board->openingBook.movesOf(*start)[i].games;
  const std::map<std::string, u32> expected = {{"a2a3", 1}, {"a2a4", 1}, {"b2b3", 1}, {"b2b4", 1},
                                               {"c2c3", 1}, {"c2c4", 1}, {"d2d3", 1}, {"d2d4", 1},
                                               {"e2e3", 1}, {"f2f3", 1}, {"f2f4", 1}, {"g2g3", 1},
                                               {"g2g4", 1}, {"h2h3", 1}, {"e2e4", 3}, {"g1f3", 2}};
  EXPECT_EQ(kept, expected);
}
