// Reading the text of a command line, shared by the UCI and WinBoard
// handlers and the command line: the one form every protocol line is put
// in before it is handled, a keyword at the start of a line, and the
// decimal numbers that follow it, read in 64 bits and held to the range
// their use allows.
#pragma once

// Puts a protocol line, in place, into the form the handlers match: blanks,
// tabs and carriage returns after the last token dropped (a CR LF line
// end), blanks and tabs before the first token dropped, and every run of
// blanks and tabs between two tokens made one blank. The value of a
// "setoption" line, the text after its "value" token, keeps its inner
// blanks and tabs as sent, since a file name may hold them.
void normalizeCommandLine(char* line);

// True when text starts with prefix.
bool startsWith(const char* text, const char* prefix);
// True when text starts with word as a whole token: word followed by a
// blank or by the end of the text.
bool startsWithWord(const char* text, const char* word);

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
