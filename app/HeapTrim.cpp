// Gives the memory the allocator holds free back to the system.

#include "app/HeapTrim.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace qv {

void returnFreedHeapMemory() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

} // namespace qv
