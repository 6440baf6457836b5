// PGN game library: the reader, a character state machine that keeps the
// known tag pairs and the main-line moves of every game, and the writer of
// the tag pairs.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/log.h"
#include "records/gamelibrary.h"
#include "records/pgnmachine.h"

namespace {

// A decimal number as strtol reads it, held within the int range.
i32 readNumber(const char* text) {
  long v = strtol(text, nullptr, 10);
  if (v > INT_MAX) v = INT_MAX;
  if (v < INT_MIN) v = INT_MIN;
  return (i32)v;
}

class PgnReader : public pgn::Machine<PgnReader, 1024> {
public:
  explicit PgnReader(std::list<ChessGame*>& into) : games(into), game(new ChessGame()) {}
  ~PgnReader() { delete game; }  // a game never ended by a result is dropped
  PgnReader(const PgnReader&) = delete;
  PgnReader& operator=(const PgnReader&) = delete;

  void feed(char c) { step(c); }
  int eventCount = 0;

  void tagValue(const char* name, const char* value);
  void moveRead(const char* text) {
    ChessGameMove move;
    pgn::copyBounded(move.text, text, PGN_MOVE_TEXT_MAX);
    move.nag = 0;
    game->moves.push_back(move);
  }
  void nagRead(const char* text) {
    if (!game->moves.empty()) game->moves.back().nag = readNumber(text);
  }
  void gameEnded() {
    games.push_back(game);
    game = new ChessGame();
  }

private:
  std::list<ChessGame*>& games;
  ChessGame* game;  // the game being read
};

void PgnReader::tagValue(const char* name, const char* value) {
  std::string* field = nullptr;
  if (strcmp(name, "Event") == 0) {
    field = &game->event;
    eventCount++;
  } else if (strcmp(name, "Site") == 0)
    field = &game->site;
  else if (strcmp(name, "Date") == 0)
    field = &game->date;
  else if (strcmp(name, "Round") == 0)
    field = &game->round;
  else if (strcmp(name, "White") == 0)
    field = &game->white;
  else if (strcmp(name, "Black") == 0)
    field = &game->black;
  else if (strcmp(name, "Result") == 0)
    field = &game->result;
  else if (strcmp(name, "Source") == 0)
    field = &game->source;
  else if (strcmp(name, "Annotator") == 0)
    field = &game->annotator;
  else if (strcmp(name, "WhiteELO") == 0)
    game->whiteElo = readNumber(value);
  else if (strcmp(name, "BlackELO") == 0)
    game->blackElo = readNumber(value);
  if (field) *field = value;
}

}  // namespace

void ChessGameLibrary::clear() {
  for (ChessGame* g : gameList) delete g;
  gameList.clear();
}

int ChessGameLibrary::load(const std::string& fileName) {
  // 1. The file.
  FILE* file = fopen(fileName.c_str(), "rb");
  if (!file) {
    Log::print("PGN file not found : %s", fileName.c_str());
    return 0;
  }
  Log::print("load PGN file : %s", fileName.c_str());

  // 2-3. Every byte through the state machine; the end of the file ends
  //      the last token like a line end. A read error (a folder, a failing
  //      device) ends the reading as well.
  PgnReader reader(gameList);
  const bool readOk = pgn::feedFile(file, reader);

  // 4. A game whose move text never reached a result is not added.
  Log::print("on arrive a la fin du fichier");
  Log::print(" %d event found", reader.eventCount);
  Log::print("%d games loaded.", (int)gameList.size());
  return readOk ? 1 : 0;
}

int ChessGameLibrary::save(const std::string& fileName) {
  FILE* file = fopen(fileName.c_str(), "wt");
  if (!file) return 0;
  bool written = true;
  auto put = [&](const char* name, const std::string& value) {
    if (!value.empty() && fprintf(file, "[%s \"%s\"]\n", name, value.c_str()) < 0) written = false;
  };
  auto putNumber = [&](const char* name, i32 value) {
    if (value != 0 && fprintf(file, "[%s \"%d\"]\n", name, value) < 0) written = false;
  };
  for (const ChessGame* g : gameList) {
    put("Event", g->event);
    put("Site", g->site);
    put("Date", g->date);
    put("Round", g->round);
    put("White", g->white);
    put("Black", g->black);
    put("Result", g->result);
    putNumber("BlackELO", g->blackElo);
    putNumber("WhiteELO", g->whiteElo);
    put("Source", g->source);
    put("Annotator", g->annotator);
  }
  // Buffered data may fail only on the close.
  const bool closed = fclose(file) == 0;
  return written && closed ? 1 : 0;
}

void pgnReadParam(char* line, char* name, char* value) {
  if (strlen(line) < 2) return;
  const char* p = line + 1;
  for (size_t n = 0; *p && *p != '"'; p++)
    if (n < PGN_TAG_TEXT_MAX) name[n++] = *p;
  if (*p == '"') p++;
  for (size_t n = 0; *p && *p != '"'; p++)
    if (n < PGN_TAG_TEXT_MAX) value[n++] = *p;
}
