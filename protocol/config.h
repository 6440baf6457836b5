// Reader of the configuration file (quarvel.ini): sections in brackets and
// key=value lines, looked up afresh on every call.
#pragma once

// Copies the value of key in section into out (room for 256 bytes) and
// returns 1; returns 0 with out untouched when the file cannot be opened or
// the key is not found.
int ReadFileConfigString(const char* file, const char* section, const char* key, char* out);

// The same value read as a decimal number (leading blanks skipped, text after
// the number ignored, 0 when no number stands there); returns 0 with *out
// untouched when the key is not found.
int ReadFileConfigInt(const char* file, const char* section, const char* key, int* out);
