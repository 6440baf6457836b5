// Reading the text of a command line, shared by the UCI and WinBoard
// handlers and the command line: a keyword at the start of a line, and the
// decimal numbers that follow it, read in 64 bits and held to the range
// their use allows.
#pragma once

// True when text starts with prefix.
bool startsWith(const char* text, const char* prefix);

// The decimal number at the start of text (0 when there is none), held to
// the 64-bit range.
long long readNumber(const char* text);
// readNumber held to the int range, so that both builds read the same value.
int readInt(const char* text);
// readNumber held to low .. high before it is narrowed to an int: a number
// beyond the range takes its nearer bound in both builds, never a wrapped
// value.
int readIntWithin(const char* text, int low, int high);

// value held to low .. high.
long long clampNumber(long long value, long long low, long long high);

// The number after the first blank of line (0 when the line has no blank),
// in 64 bits, and held to the int range.
long long numberAfterBlank(const char* line);
int intAfterBlank(const char* line);
