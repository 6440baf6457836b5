// Program entry: a command-line tool when the arguments name one, otherwise
// the protocol engine, which reads commands until it is told to quit.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/log.h"
#include "protocol/chessboarduci.h"
#include "protocol/commandloop.h"
#include "protocol/commandtext.h"
#include "protocol/tools.h"
#include "records/gamelibrary.h"

static void printHelp(const char* wordSize) {
  printf("Quarvel %s (%s) by Yorin TASSEVAL\n", QUARVEL_VERSION, wordSize);
  printf("\n");
  printf("Quarvel -testsuite <filename.epd>\n");
  printf("Quarvel -perft <depth>\n");
  printf("Quarvel -perft <depth> -fen <fen-string>\n");
  printf("Quarvel -divide <depth>\n");
  printf("Quarvel -divide <depth> -fen <fen-string>\n");
  printf("Quarvel -buildbook <file.pgn> <file.bin> <depth> <count>\n");
}

// Runs the tool that the arguments name; false when they name none. Every
// number is read in 64 bits and held to what its tool takes before it
// becomes an int, so that no value wraps, in either build: seconds at most
// MAX_TESTSUITE_SECONDS (a negative number still means the default 5), a
// book depth 0 to OPENING_MAX_PLIES (a negative one reads no plies, as 0
// does), a book count and a perft or divide depth to the int range (a count
// above it is more games than any collection holds, and a depth beyond the
// tool's range counts nothing).
static bool runTool(int argc, char** argv, const char* wordSize, int* result) {
  const char* tool = argv[1];
  if (strcmp(tool, "-help") == 0) {
    printHelp(wordSize);
    *result = 1;
    return true;
  }
  if (strcmp(tool, "-testsuite") == 0 && (argc == 3 || argc == 4)) {
    *result = cmdRunTestSuite(
        argv[2], argc == 4 ? readIntWithin(argv[3], INT_MIN, MAX_TESTSUITE_SECONDS) : 5);
    return true;
  }
  if (strcmp(tool, "-buildbook") == 0 && argc == 6) {
    *result = cmdBuildBook(argv[2], argv[3], readIntWithin(argv[4], 0, (int)OPENING_MAX_PLIES),
                           readInt(argv[5]));
    return true;
  }
  bool withFen = argc == 5 && strcmp(argv[3], "-fen") == 0;
  if (strcmp(tool, "-perft") == 0 && (argc == 3 || withFen)) {
    *result = cmdPerft(readInt(argv[2]), withFen ? argv[4] : nullptr);
    return true;
  }
  if (strcmp(tool, "-divide") == 0 && (argc == 3 || withFen)) {
    *result = cmdDivide(readInt(argv[2]), withFen ? argv[4] : nullptr);
    return true;
  }
  return false;
}

// Ends a run of the protocol engine: an abort for a think still under way,
// then the engine object, the log and the command buffer are released.
static void shutdownEngine() {
  if (board) {
    pondering = 0;
    board->ponderEnabled = 0;
    board->ponderSearch = 0;
    board->ponderMove = EmptyMove;
    if (board->computerThinking) board->stopSearch = STOP_ABORT;
    board->free();
    delete board;
    board = nullptr;
  }
  Log::close();
  ::free(command);
  command = nullptr;
}

int main(int argc, char** argv) {
  const char* wordSize = sizeof(void*) == 8 ? "64 bits" : "32 bits";
  Log::open("logfile.html");

  int result = 0;
  if (argc > 1 && runTool(argc, argv, wordSize, &result)) return result;

  // Interactive start.
  command = static_cast<char*>(malloc(COMMAND_SIZE));
  if (!command) exitOutOfMemory();
  strcpy(ownbook, DEFAULT_BOOK_NAME);
  useownbook = 0;
  setvbuf(stdout, nullptr, _IONBF, 0);  // every protocol line leaves at once
  guiMode = GUI_NONE;
  memset(command, 0, COMMAND_SIZE);
  sendCommand("Quarvel %s (%s) by Yorin TASSEVAL", QUARVEL_VERSION, wordSize);

  while (!Quit) parseCommand();

  shutdownEngine();
  return 1;
}
