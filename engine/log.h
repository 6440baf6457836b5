// Log facade and profiler. The log shows nothing: its operations keep the
// program's trace vocabulary in one place without writing anywhere.
#pragma once

#include "engine/types.h"
