// The test suites (the EPD solver through the real program, the symmetry
// and perft suites on the shared data) and game replay and saving.
#include <gtest/gtest.h>

#include <fstream>

#include "records/bestmoves.h"
#include "tests/support/child_process.h"
#include "tests/support/suite_report.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_board.h"
#include "tests/support/test_paths.h"

using testsupport::TempDir;

// Mate in one, a bad FEN, the en-passant solution exd6, an empty line and
// a mated side to move (one line for it): the report is exact, with or
// without commands waiting on standard input, which the tool never reads.
TEST(TestSuites, EpdReportOfTheTool) {
  TempDir dir;
  const std::string epd = dir.write(
      "small.epd",
      "6k1/5ppp/8/8/8/8/8/R5K1 w - - bm Ra8#; id \"mate1\";\n8/8/8 w - - bm e4; id \"badfen\";\n"
      "7k/8/8/3pP3/8/8/8/K7 w - d6 bm exd6; id \"ep\";\n\nR5k1/5ppp/8/8/8/8/8/6K1 b - - bm Kf8; id "
      "\"mated\";\n");
  const std::string dashes(79, '-'), header = "Quarvel version 1.3b\n\nTest suite : ";
  const std::string expected =
      header + epd + "\n\n" + dashes + "\n6k1/5ppp/8/8/8/8/8/R5K1 w - -  bm Ra8#; id mate1;\n\n" +
      dashes + "\n8/8/8 w - -  bm e4; id badfen;\n\nERROR : bad FEN !\n" + dashes +
      "\n7k/8/8/3pP3/8/8/8/K7 w - d6  bm exd6; id ep;\n\n" + dashes +
      "\nR5k1/5ppp/8/8/8/8/8/6K1 b - -  bm Kf8; id mated;\n\nERROR : no legal move !\n" +
      "\nScore = 2 / 5\n\nBad results : \n\nbadfen\nmated\nBad result =>  badfen, mated, \n";
  auto run = [](const std::vector<std::string>& args, const std::string& input) {
    std::vector<std::string> argv = {testsupport::programPath(), "-testsuite"};
    argv.insert(argv.end(), args.begin(), args.end());
    return testsupport::runCommand(argv, std::chrono::seconds(120), input);
  };
  for (const char* input : {"", "uci\nisready\nposition startpos\ngo infinite\nstop\nquit\n"}) {
    auto r = run({epd, "1"}, input);
    EXPECT_EQ(r.status.code, 1) << r.status.describe();
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(testsupport::withoutThinking(r.out), expected) << r.out;
    EXPECT_NE(r.out.find(" e5xd6 e.p"), std::string::npos);
  }
  // A file that cannot be read: the header and one error line, status 0.
  for (const std::string& bad : {dir.path + "/missing.epd", dir.folder("folder.epd")}) {
    auto r = run({bad}, "");
    EXPECT_EQ(r.status.code, 0);
    EXPECT_EQ(r.out, header + bad + "\n\nERROR : cannot read " + bad + " !\n");
  }
}

// Verdicts by move, one position per way of writing the best move, each
// found at once: after a byte-order mark, and with tabs, Ra8# solves; the
// only legal move Ned1 solves Nd1; e8Q and the long texts Ra1-a8# and e5xd6
// (en passant) solve; O-O does not solve O-O-O; a stalemate gets one line
// instead of a think.
TEST(TestSuites, EpdVerdictsByMove) {
  QUARVEL_REQUIRE_DATA("suite_verdicts.epd");
  auto r = testsupport::runSuiteTool(TempDir(), testsupport::dataPath("suite_verdicts.epd"), "1");
  EXPECT_EQ(r.status.code, 1) << r.status.describe();
  const std::string end =
      "id stalemate;\n\nERROR : no legal move !\n\nScore = 6 / 8\n\nBad results : \n\ncastle\n"
      "stalemate\nBad result =>  castle, stalemate, \n";
  EXPECT_NE(r.out.find(end), std::string::npos) << r.out;
}

// Best-move fields read as moves of the position, token by token; a token
// that is no legal move names nothing.
TEST(TestSuites, BestMovesReadAsMovesOfThePosition) {
  const char* cases[][3] = {
      {"r3k2r/8/8/8/8/8/8/4K2R w Kkq - 0 1", "O-O-O\t0-0+  O-O?!", "e1g1 e1g1"},
      {"7k/8/8/b7/8/2N1N3/r7/r3K3 w - - 0 1", "Nd1 Ncd1 Ned1 Nb1 Ne3-d1", "e3d1 e3d1 e3d1"},
      {"3r3k/4P3/8/8/8/8/8/4K3 w - - 0 1", "e8Q e8=N+ e7-e8=R e7xd8=B exd8Q! e8 Ke1-e2",
       "e7e8q e7e8n e7e8r e7d8b e7d8q e7e8q e1e2"},
      {"4k3/8/8/3pP3/8/8/8/4K1N1 w - d6 0 1", "Ng1-f3 e5xd6 e.p e5-e6 Nf3-g1 d5 Nd4 1-0 Pe6",
       "g1f3 e5d6 e5e6"},
  };
  for (const auto& c : cases) {
    auto board = boardAt(c[0]);
    std::string moves;
    for (ChessMove m : readBestMoves(*board, c[1])) moves += (moves.empty() ? "" : " ") + coord(m);
    EXPECT_EQ(moves, c[2]) << c[0] << " bm " << c[1];
  }
}

// Lines are read within their bounds, one position each.
TEST(TestSuites, EpdLinesParsedByPosition) {
  TempDir dir;
  const std::string mate = "6k1/5ppp/8/8/8/8/8/R5K1 w - - bm ";
  const std::string epd =
      dir.write("lines.epd",
                mate + "Ra8#\n" +                    // no ";": no position
                    mate + "Qh5 Ra8; id \"open\n" +  // closing quote missing
                    mate + "Ra8;\n" +                // too short for an id
                    mate + std::string(150, 'x') + "; id \"long\"; bm Ra8; id \"2\";\n");
  auto board = newTestBoard();
  board->setEngineSearchMode(MODE_DEPTH, 2, 0);
  testing::internal::CaptureStdout();
  const TestSuiteScore score = board->runTestSuite(epd);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(score.good * 10 + score.total, 24);
  EXPECT_NE(out.find("bm Qh5 Ra8; id open;\n"), std::string::npos) << out;
  EXPECT_NE(out.find("bm Ra8; id ;\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Bad result =>  long, \n"), std::string::npos) << out;
  EXPECT_EQ(board->testSuiteMode, 0);
}

TEST(TestSuites, EvaluationSymmetryOfWac) {
  QUARVEL_REQUIRE_DATA("wac.epd");
  std::ifstream in(testsupport::dataPath("wac.epd"));
  int lines = 0, positions = 0;
  for (std::string line; std::getline(in, line); lines++)
    positions += line.find("bm") != std::string::npos;
  auto board = newTestBoard();
  const TestSuiteScore score = board->runEvalTestSuite(testsupport::dataPath("wac.epd"));
  EXPECT_EQ(score.total, lines);
  EXPECT_EQ(score.good, positions);
  EXPECT_GE(positions, 199);
  TempDir dir;  // a position that cannot be set up is not symmetric
  EXPECT_EQ(
      board->runEvalTestSuite(dir.write("k.epd", "8/8/8/8/8/8/8/8 w - - bm Ke2; id \"x\";\n")).good,
      0);
}

TEST(TestSuites, PerftSuite) {
  QUARVEL_REQUIRE_DATA("perftsuite.epd");
  // The shared suite cut to its first three depth fields.
  std::ifstream in(testsupport::dataPath("perftsuite.epd"));
  std::string cut;
  for (std::string line; std::getline(in, line);) {
    size_t end = 0;
    for (int fields = 0; fields < 4 && end != std::string::npos; fields++)
      end = line.find(';', end + 1);
    cut += line.substr(0, end == std::string::npos ? line.size() : end - 1) + "\n";
  }
  TempDir dir;
  auto board = newTestBoard();
  TestSuiteScore score = board->runPerftSuite(dir.write("suite.epd", cut));
  EXPECT_EQ(score.good * 1000 + score.total, 127127);
  // Line ends LF, CRLF or none are Ok; a refused FEN, a wrong count, no
  // field or more than 16 are Bad.
  const std::string start = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1 ";
  std::string many = start;
  for (int d = 1; d <= 17; d++) many += ";D1 20 ";
  score = board->runPerftSuite(dir.write(
      "edges.epd", start + ";D1 20 ;D2 400\n" + start + ";D1 20 ;D2 400\r\n" + "8/8 w - - ;D1 0\n" +
                       start + ";D1 21\n" + start + "\n" + many + "\n" + start + ";D1 20 ;D2 400"));
  EXPECT_EQ(score.good * 10 + score.total, 37);
  EXPECT_FALSE(board->runPerftSuite(dir.path + "/missing.epd").read);
}

TEST(GameReplay, PlaysLoadsAndSaves) {
  TempDir dir;
  auto board = newTestBoard();
  ChessGame empty;
  EXPECT_EQ(board->playGame(nullptr) * 10 + board->playGame(&empty), 1);
  EXPECT_EQ(board->gameLength, 0u);
  // Ke3 names no legal move: it is skipped, and the later texts are read
  // on the position without it. Texts are cut to the record's 7.
  ASSERT_EQ(
      board->loadGameLibrary(dir.write("g.pgn", "1. e4 e5 2. Ke3 Nf3 3. Nc6 Bb5!!?!?! 1-0\n")), 1);
  ASSERT_EQ(board->loadGameLibrary(dir.path + "/g.pgn"), 1);
  ASSERT_EQ(board->gameLibrary.gameList.size(), 1u);
  const NodeFields start(board->currentNode);
  EXPECT_EQ(board->playGame(board->gameLibrary.gameList.front()), 1);
  EXPECT_EQ(board->gameLength * 10 + board->curMoveIndex, 50u);
  EXPECT_EQ(differences(NodeFields(board->currentNode), start), "");
  EXPECT_EQ(std::string(board->gameRecord[2].text) + board->gameRecord[4].text, "Nf3Bb5!!?!");
  for (int i = 0; i < 5; i++) EXPECT_EQ(board->nextMove(), 1);
  EXPECT_EQ(board->currentNode.hashKey,
            boardAt("r1bqkbnr/pppp1ppp/2n5/1B2p3/4P3/5N2/PPPP1PPP/RNBQK2R b KQkq - 3 3")
                ->currentNode.hashKey);
  // Only the tag section is saved; failures say so.
  EXPECT_EQ(board->playGame(board->gameLibrary.gameList.front()), 1);
  ASSERT_EQ(board->saveGame(dir.path + "/saved.pgn"), 1);
  EXPECT_EQ(TempDir::read(dir.path + "/saved.pgn"), "[Event \"Quarvel Chess Game\"]\n");
  EXPECT_EQ(board->saveGame("/dev/full") + board->loadGameLibrary(dir.path + "/missing.pgn"), 0);
  EXPECT_TRUE(board->gameLibrary.gameList.empty());
  // A game longer than the record stops recording when it is full.
  std::string longGame;
  for (unsigned i = 1; i < MAX_GAME_LENGTH / 2 + 10; i += 2)
    longGame += std::to_string(i) + ". Nf3 Nf6 " + std::to_string(i + 1) + ". Ng1 Ng8 ";
  ASSERT_EQ(board->loadGameLibrary(dir.write("long.pgn", longGame + "1/2-1/2\n")), 1);
  EXPECT_EQ(board->playGame(board->gameLibrary.gameList.front()), 1);
  EXPECT_EQ(board->gameLength, MAX_GAME_LENGTH);
}
