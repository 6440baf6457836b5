// Game replay and saving: the engine's game library filled from a PGN
// file, one game of a library replayed into the game record, and the game
// on the board written as a PGN tag section.
#include <cstring>

#include "engine/chessboard.h"
#include "engine/log.h"
#include "records/pgntext.h"

int ChessBoard::loadGameLibrary(const std::string& fileName) {
  gameLibrary.clear();
  return gameLibrary.load(fileName);
}

int ChessBoard::playGame(ChessGame* game) {
  if (!game) return 0;
  // 1-3. A new game with an empty record and its move list.
  newGame();
  gameLength = 0;
  curMoveIndex = 0;
  currentNode.undoCount = 0;
  buildLegalMoves();

  // 4. Every text that names a legal move is played and recorded with the
  //    text as the file wrote it (cut to the record's field); a full record
  //    ends the replay.
  for (const ChessGameMove& gm : game->moves) {
    if (!canRecordMove()) break;
    char text[PGN_MOVE_TEXT_MAX + 1];
    pgn::copyBounded(text, gm.text, PGN_MOVE_TEXT_MAX);
    ChessMove m;
    if (!createMove(text, m)) {
      Log::print("error, incorrect move : '%s'", text);
      continue;
    }
    if (!currentNode.makeMove(m)) {
      Log::print("found a bad move");
      currentNode.unMakeMove(m);
      buildLegalMoves();
      continue;
    }
    recordMove(m);
    GameRecordEntry& entry = gameRecord[curMoveIndex - 1];
    pgn::copyBounded(entry.text, text, sizeof entry.text - 1);
    buildLegalMoves();
  }

  // 5-6. Back to the start; nextMove steps through the game.
  while (previousMove()) {
  }
  buildLegalMoves();
  updatePieces();
  return 1;
}

int ChessBoard::saveGame(const std::string& fileName) {
  ChessGameLibrary library;
  ChessGame* game = new ChessGame();
  library.gameList.push_back(game);
  game->event = "Quarvel Chess Game";
  game->white = playerName[1];
  game->black = playerName[0];
  // The moves made since the position was set up, within the record.
  const u32 moves = currentNode.undoCount < gameLength ? currentNode.undoCount : gameLength;
  for (u32 i = 0; i < moves; i++) {
    ChessGameMove gm;
    pgn::copyBounded(gm.text, gameRecord[i].text, PGN_MOVE_TEXT_MAX);
    gm.nag = 0;
    game->moves.push_back(gm);
  }
  return library.save(fileName);
}
