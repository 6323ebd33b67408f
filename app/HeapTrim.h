// Gives the memory the allocator holds free back to the system.

#pragma once

namespace qv {

// The C library keeps memory freed by other threads (a service call's, the scanner library's
// image workers') in per-thread pools, page for page, long after those threads are gone: a
// station that works all day would hold ever more of it. Returns what is free to the system;
// where the C library has no such call, does nothing.
void returnFreedHeapMemory();

} // namespace qv
