// Keeps the station's heap from growing over a working day.

#pragma once

namespace qv {

// The C library gives each thread that allocates (a service call's, the scanner library's
// image workers', the reader commands') a pool of its own, and keeps memory freed there page
// for page long after the thread is gone: a station that works all day would hold ever more
// of it. One pool for the whole process: the station's threads take turns, rarely at once.
// Call first thing, before any thread starts.
void useOneHeapPool();

// Returns what the allocator holds free to the system; where the C library has no such call,
// does nothing.
void returnFreedHeapMemory();

} // namespace qv
