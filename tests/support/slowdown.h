// How much slower than a native release build the program under test runs:
// time bounds that depend on the engine's speed are scaled by it, and long
// loops are shortened. The sanitizers slow it about eight times, the user-mode
// emulator that runs the 32-bit build where the kernel cannot about four.
#ifndef QUARVEL_TESTS_SUPPORT_SLOWDOWN_H
#define QUARVEL_TESTS_SUPPORT_SLOWDOWN_H

namespace testsupport {

// True when the build starts its 32-bit programs through an emulator.
constexpr bool kEmulated = sizeof(QUARVEL_EMULATOR) > 1;

#ifdef QUARVEL_SANITIZE
constexpr int kSlowdown = 8;
#else
constexpr int kSlowdown = kEmulated ? 4 : 1;
#endif

}  // namespace testsupport

#endif  // QUARVEL_TESTS_SUPPORT_SLOWDOWN_H
