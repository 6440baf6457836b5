// The program's version: the banner, the identification lines of both
// protocols and the test-suite report show it.
#pragma once

const char* const QUARVEL_VERSION = "1.3b";
