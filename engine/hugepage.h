// Transparent huge pages for the tables that the search reads at random.
// With 4 KB pages such a table needs an entry of the processor's address
// translation cache for every 4 KB it spans, and its reads miss that cache
// far more often than in 2 MB pages.
#pragma once

#include <cstddef>

// The size and alignment of a huge page.
const size_t HUGE_PAGE_BYTES = (size_t)2 << 20;

// Offers the memory [block, block + bytes) to the system for huge pages, to
// be used from its first write on (pages already written keep their size).
// A hint: the memory works the same without it.
void adviseHugePages(void* block, size_t bytes);
