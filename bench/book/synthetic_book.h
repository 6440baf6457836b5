// Book files of any size for the book-loading tests and benchmark, written
// straight in the book file's layout.
#pragma once

#include <string>

#include "engine/types.h"

namespace bookbench {

// Writes a book file of `nodes` positions with one move each (22 bytes a
// position, so 12 million make about 264 MB): keys spread evenly over the
// 64-bit range, one of them replaced by `key`, whose only move is `move`
// with 10 games. The records are in ascending order of key, or descending
// when `descending` is set. False when the file cannot be written.
bool writeSyntheticBook(const std::string& path, u32 nodes, bool descending, u64 key,
                        ChessMove move);

}  // namespace bookbench
