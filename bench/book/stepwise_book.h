// The book build done step by step: every retained sequence of the list is
// replayed from the start position, and every one of its moves is offered
// to the book with the sequence's statistics. The program's build must
// write the same file.
#pragma once

#include <string>

namespace bookbench {

// Builds the book of the PGN file into bookFile; false when the PGN cannot
// be read or the book not written.
bool stepwiseBuildBook(const std::string& pgnFile, const std::string& bookFile, int depth,
                       int minCount);

}  // namespace bookbench
