// Compiled by the build test Build.EngineCannotIncludeFrontEnd with the
// include path of the engine and records libraries, where it must fail:
// the engine reaches the front-end only through its callbacks.
#include "engine/chessboard.h"
#include "protocol/commandloop.h"
