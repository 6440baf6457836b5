// Opening-book building: the sequence list of the PGN scan, the book bytes
// of small collections written out by hand, legality of every book move of
// a real collection (and the program playing them over UCI), and the build
// against its step-by-step form.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "tests/support/seeded_pgn.h"
#include "tests/support/stepwise_book.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_board.h"
#include "tests/test_protocol_session.h"

namespace {

using testsupport::TempDir;

const char* const ECO = "/usr/share/pgn-extract/eco.pgn";

// The list of the scan: each entry as its moves joined by "." and its
// count, white wins, black wins and draws.
std::string scan(const std::string& pgn, int depth) {
  TempDir dir;
  ChessGameLibrary library;
  ChessGameOpeningList list;
  EXPECT_EQ(library.searchOpening(dir.write("games.pgn", pgn), depth, list), 1);
  std::string out;
  for (const ChessGameOpeningList::Entry& e : list.entries) {
    std::string sequence = e.text;
    for (u32 p = e.parent; p != ChessGameOpeningList::NO_PARENT; p = list.entries[p].parent)
      sequence = std::string(list.entries[p].text) + "." + sequence;
    out += (out.empty() ? "" : " ") + sequence + ":" + std::to_string(e.count) + "/" +
           std::to_string(e.whiteWins) + "/" + std::to_string(e.blackWins) + "/" + std::to_string(e.draws);
  }
  return out;
}

void put32(std::string& s, u32 v) {
  for (int i = 0; i < 4; i++) s += (char)(v >> (8 * i));
}
void putNode(std::string& s, u64 key, std::vector<std::vector<u32>> moves) {
  put32(s, (u32)key);
  put32(s, (u32)(key >> 32));
  put32(s, (u32)moves.size());
  for (const auto& m : moves) {
    put32(s, m[0]);
    put32(s, m[1]);
    s += (char)m[2];
    s += (char)m[3];
  }
}

// A build through the engine's own member; the book file's bytes.
std::string build(const TempDir& dir, const std::string& pgn, int depth, int count) {
  auto board = newTestBoard();
  const std::string book = dir.path + "/book.bin";
  EXPECT_EQ(board->buildOpeningBook(dir.write("games.pgn", pgn), book, depth, count), BOOK_BUILT);
  return TempDir::read(book);
}

}  // namespace

TEST(BookBuilding, SequenceListOfTheScan) {
  const char* cases[][2] = {
      {"[Result \"1-0\"]\n1. e4 e5 1-0\n[Result \"0-1\"]\n1. e4 e5 0-1\n[Result \"1-0\"]\n1. e4 c5 1-0\n",
       "e4:3/2/1/0 e4.e5:2/1/1/0 e4.c5:1/1/0/0"},
      // A short game adds nothing; "*" counts no result; a repeated Result
      // tag replaces the earlier.
      {"[Result \"1-0\"]\n1. e4 1-0\n[Result \"*\"]\n1. d4 d5 *\n", "d4:1/0/0/0 d4.d5:1/0/0/0"},
      {"[Result \"1-0\"]\n[Result \"1/2-1/2\"]\n1. c4 c5 1/2-1/2\n", "c4:1/0/0/1 c4.c5:1/0/0/1"},
      // NAGs, comments and variations; a move straight before a bracket.
      {"1. e4 $1 e5 2. Nf3 *\n", "e4:1/0/0/0 e4.Nf3:1/0/0/0"},
      {"1. e4 $1 1... e5 2. Nf3 *\n", "e4:1/0/0/0 e4.e5:1/0/0/0"},
      {"1. e4{x} (1. d4 d5) e5 *\n", "e4:1/0/0/0 e4.e5:1/0/0/0"},
      // A NAG on White's last move and "0-1" alone end their game cleanly.
      {"1. e4 $1 1-0\n1. d4 d5 1-0\n", "d4:1/0/0/0 d4.d5:1/0/0/0"},
      {"0-1\n\n[Result \"1-0\"]\n1. d4 d5 1-0", "d4:1/1/0/0 d4.d5:1/1/0/0"},
      // After its plies a game is skipped to the next line that starts
      // with "[": a game without tags behind it is skipped too.
      {"1. e4 e5 2. Nf3 *\n1. d4 d5 *\n[Event \"x\"]\n1. c4 c5 *\n",
       "e4:1/0/0/0 e4.e5:1/0/0/0 c4:1/0/0/0 c4.c5:1/0/0/0"},
  };
  for (const auto& c : cases) EXPECT_EQ(scan(c[0], 2), c[1]) << c[0];
  // Depth 0 collects nothing; a depth above 32 is 32.
  EXPECT_EQ(scan(cases[0][0], 0), "");
  std::string moves;
  for (int i = 1; i <= 40; i++) moves += std::to_string(i) + ". a b ";
  const std::string deep = scan(moves + "*\n", 50);
  EXPECT_EQ(std::count(deep.begin(), deep.end(), ' '), 31);
}

// The list holds, in order, what merging each line's prefixes into a plain
// list of whole sequences gives.
TEST(BookBuilding, TreeListMatchesPlainList) {
  std::mt19937 rng(5);
  ChessGameOpeningList tree;
  std::vector<std::pair<std::vector<std::string>, std::vector<u32>>> plain;
  for (int game = 0; game < 3000; game++) {
    ChessGameOpening line{};
    line.nbMoves = rng() % 7;
    line.whiteWins = rng() % 2;
    line.draws = 1 - line.whiteWins;
    std::vector<std::string> texts;
    for (u32 i = 0; i < line.nbMoves; i++) {
      texts.push_back(std::string(1, "abc"[rng() % 3]) + (rng() % 2 ? "+" : ""));
      snprintf(line.moves[i].text, sizeof line.moves[i].text, "%s", texts.back().c_str());
      std::vector<std::string> prefix(texts.begin(), texts.end());
      auto found = std::find_if(plain.begin(), plain.end(), [&](const auto& e) { return e.first == prefix; });
      if (found == plain.end()) plain.push_back({prefix, {1, line.whiteWins, line.draws}});
      else found->second = {found->second[0] + 1, found->second[1] + line.whiteWins, found->second[2] + line.draws};
    }
    tree.addOpening(line);
  }
  ASSERT_EQ(tree.entries.size(), plain.size());
  for (size_t i = 0; i < plain.size(); i++) {
    const ChessGameOpeningList::Entry& e = tree.entries[i];
    EXPECT_EQ(e.text, plain[i].first.back());
    EXPECT_EQ(std::vector<u32>({e.count, e.whiteWins, e.draws}), plain[i].second);
    EXPECT_EQ(e.parent == ChessGameOpeningList::NO_PARENT, plain[i].first.size() == 1);
  }
}

TEST(BookBuilding, BookBytesOfSmallCollections) {
  TempDir dir;
  auto board = newTestBoard();
  const u64 start = board->currentNode.hashKey;
  ASSERT_TRUE(playMoves(*board, {"e2e4"}));
  const u64 afterE4 = board->currentNode.hashKey;
  const u32 e4 = ChessMove::make(sq("e2"), sq("e4"), PAWN, 0, 0, MOVE_DOUBLE_PUSH);
  const u32 e5 = ChessMove::make(sq("e7"), sq("e5"), PAWN, 0, 0, MOVE_DOUBLE_PUSH);
  const u32 c5 = ChessMove::make(sq("c7"), sq("c5"), PAWN, 0, 0, MOVE_DOUBLE_PUSH);
  auto file = [&](std::vector<std::pair<u64, std::vector<std::vector<u32>>>> nodes) {
    std::sort(nodes.begin(), nodes.end());
    std::string s = "BOOK";
    put32(s, 0x00010001);
    put32(s, (u32)nodes.size());
    for (const auto& n : nodes) putNode(s, n.first, n.second);
    return s;
  };
  const std::string pgn =
      "[Result \"1-0\"]\n1. e4 e5 1-0\n[Result \"0-1\"]\n1. e4 e5 0-1\n[Result \"1-0\"]\n1. e4 c5 1-0\n";
  const std::string count1 = file({{start, {{e4, 3, 66, 33}}}, {afterE4, {{e5, 2, 50, 50}, {c5, 1, 100, 0}}}});
  ASSERT_EQ(count1.size(), 66u);
  EXPECT_EQ(build(dir, pgn, 2, 1), count1);
  const std::string count2 = file({{start, {{e4, 3, 66, 33}}}, {afterE4, {{e5, 2, 50, 50}}}});
  ASSERT_EQ(count2.size(), 56u);
  EXPECT_EQ(build(dir, pgn, 2, 2), count2);
  EXPECT_EQ(build(dir, pgn, 0, 1), file({}));
  EXPECT_EQ(build(dir, pgn, 2, -1), file({}));   // a negative count retains nothing

  // A sequence stops at its first text that names no legal move: Qh4 (the
  // e7 pawn stands in the way) and O-O+ add nothing, nor anything after.
  EXPECT_EQ(build(dir, "1. e4 Qh4 2. Nf3 *\n", 3, 1), file({{start, {{e4, 1, 0, 0}}}}));
  EXPECT_EQ(build(dir, "1. O-O+ e5 *\n", 2, 1), file({}));

  // The real program writes the same bytes and exits 1; a PGN it cannot
  // read leaves the book alone and exits 0 with one line of error.
  const std::string book = dir.path + "/tool.bin", games = dir.write("tool.pgn", pgn);
  auto tool = [&](const std::string& in, const std::string& out) {
    return testsupport::runCommand({testsupport::programPath(), "-buildbook", in, out, "2", "1"},
                                   std::chrono::seconds(60));
  };
  auto r = tool(games, book);
  EXPECT_EQ(r.status.code, 1);
  EXPECT_EQ(r.out + r.err, "");
  EXPECT_EQ(TempDir::read(book), count1);
  for (const std::string& missing : {dir.path + "/missing.pgn", dir.folder("folder.pgn")}) {
    r = tool(missing, book);
    EXPECT_EQ(r.status.code, 0);
    EXPECT_EQ(r.err, "ERROR : cannot read " + missing + " !\n");
  }
  EXPECT_EQ(TempDir::read(book), count1);
  for (const std::string& unwritable : {dir.path + "/no/dir.bin", dir.path + "/folder.pgn", std::string("/dev/full")}) {
    r = tool(games, unwritable);
    EXPECT_EQ(r.status.code, 0);
    EXPECT_EQ(r.err, "ERROR : cannot write " + unwritable + " !\n");
  }
}

// The build writes the same book as replaying every retained sequence move
// by move from a new game, onto an empty book or one it merges with.
TEST(BookBuilding, SameBookAsTheStepwiseBuild) {
  TempDir dir;
  const std::string pgn = dir.path + "/seeded.pgn";
  ASSERT_TRUE(testsupport::writeSeededPgn(pgn, 400, 40, 11));
  for (int count : {1, 2, 5}) {
    ASSERT_TRUE(testsupport::stepwiseBuildBook(pgn, dir.path + "/stepwise.bin", 14, count));
    auto board = newTestBoard();
    ASSERT_EQ(board->buildOpeningBook(pgn, dir.path + "/fast.bin", 14, count), BOOK_BUILT);
    EXPECT_EQ(TempDir::read(dir.path + "/fast.bin"), TempDir::read(dir.path + "/stepwise.bin")) << count;
  }
  // A book loaded before keeps its moves first and its statistics.
  auto board = newTestBoard();
  const u64 start = board->currentNode.hashKey;
  board->openingBook.addNode(start, ChessMove::make(sq("a2"), sq("a3"), PAWN), 7, 1, 2);
  ASSERT_EQ(board->buildOpeningBook(pgn, dir.path + "/merged.bin", 6, 1), BOOK_BUILT);
  const ChessOpeningBookNode* node = board->openingBook.findPositionFast(start);
  ASSERT_NE(node, nullptr);
  EXPECT_GT(node->count, 1u);
  const ChessOpeningBookMove* a3 = std::find_if(node->moves, node->moves + node->count, [](const ChessOpeningBookMove& m) {
    return m.move == ChessMove::make(sq("a2"), sq("a3"), PAWN);
  });
  ASSERT_NE(a3, node->moves + node->count);
  EXPECT_EQ(a3->games * 100 + a3->whitePercent * 10 + a3->blackPercent, 712u);
}

// A book of the ECO collection holds only legal moves of the positions its
// lines reach; the program, given the book over UCI, answers every book
// position at once with a move of its node.
TEST(BookBuilding, EcoCollectionOverUci) {
  ChessGameLibrary eco;
  if (!eco.load(ECO)) GTEST_SKIP() << ECO << " missing (Debian package pgn-extract)";
  ASSERT_EQ(eco.gameList.size(), 2014u);
  TempDir dir;
  const int depth = 10;
  auto board = newTestBoard();
  const std::string book = dir.path + "/eco.bin";
  ASSERT_EQ(board->buildOpeningBook(ECO, book, depth, 1), BOOK_BUILT);

  // Every position the lines reach within the depth, with its legal moves
  // and the coordinate moves that lead to it.
  std::map<u64, std::pair<std::set<u32>, std::string>> reached;
  auto replay = newTestBoard();
  for (const ChessGame* game : eco.gameList) {
    replay->newGame();
    std::string path;
    for (size_t i = 0; i < game->moves.size() && (int)i < depth; i++) {
      auto& here = reached[replay->currentNode.hashKey];
      for (ChessMove m : legalMoves(replay->currentNode)) here.first.insert(m);
      here.second = path;
      char text[PGN_MOVE_TEXT_MAX + 1];
      memcpy(text, game->moves[i].text, sizeof text);
      ChessMove m;
      replay->buildLegalMoves();
      if (!replay->createMove(text, m)) break;
      std::string c = coord(m);
      ASSERT_TRUE(replay->setMoveSquare(&c[0]));
      path += " " + c;
    }
  }
  const std::vector<ChessOpeningBookNode>& nodes = board->openingBook.nodes;
  ASSERT_GT(nodes.size(), 500u);
  for (const ChessOpeningBookNode& node : nodes) {
    auto at = reached.find(node.key);
    ASSERT_NE(at, reached.end());
    for (u32 i = 0; i < node.count; i++) EXPECT_TRUE(at->second.first.count(node.moves[i].move));
  }

  e2e::Session uci;
  uci.handshake();
  uci.sendAll({"setoption name Book File value " + book, "setoption name OwnBook value true"});
  ASSERT_TRUE(uci.ready());
  for (const ChessOpeningBookNode& node : nodes) {
    uci.sendAll({"position startpos" + (reached[node.key].second.empty() ? "" : " moves" + reached[node.key].second),
                 "go movetime 600000"});
    const e2e::Answer a = uci.waitBestMove(e2e::scaled(20000));
    ASSERT_TRUE(a.arrived) << reached[node.key].second;
    bool inNode = false;
    for (u32 i = 0; i < node.count; i++) inNode = inNode || coord(node.moves[i].move) == a.bestmove;
    EXPECT_TRUE(inNode) << reached[node.key].second << " -> " << a.line;
  }
  EXPECT_TRUE(e2e::endedCleanly(uci.quit()));
}
