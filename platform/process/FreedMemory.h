// The process's freed memory handed back to the system.
#pragma once

namespace tomelet {

// Gives the system the free pages the allocator keeps in its heaps after large, short-lived
// allocations (an index let go, a map read), so the process stays near the size of what it
// holds. Costs a walk of the heaps: call it after such work, not on every request. Does nothing
// until the process has grown by 32 MiB since it last gave memory back (or since the smallest it
// was seen at after that). Thread-safe.
void ReturnFreedMemory();

}  // namespace tomelet
