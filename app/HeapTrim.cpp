#include "app/HeapTrim.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace qv {

void useOneHeapPool() {
#if defined(__GLIBC__)
    mallopt(M_ARENA_MAX, 1);
#endif
}

void returnFreedHeapMemory() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

} // namespace qv
