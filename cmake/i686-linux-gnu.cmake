# Toolchain file for the 32-bit x86 build on an x86-64 Debian host with the
# multilib compilers (g++-multilib). SSE2 is required and used for all
# floating-point math, so the x87 unit's extended precision never changes a
# result between the two builds.
set(QUARVEL_I686_FLAGS "-m32 -msse2 -mfpmath=sse")
set(CMAKE_C_FLAGS_INIT "${QUARVEL_I686_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${QUARVEL_I686_FLAGS}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")
