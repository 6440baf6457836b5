#include "engine/hugepage.h"

#include <sys/mman.h>

void adviseHugePages(void* block, size_t bytes) {
#ifdef MADV_HUGEPAGE
  madvise(block, bytes, MADV_HUGEPAGE);
#else
  (void)block;
  (void)bytes;
#endif
}
