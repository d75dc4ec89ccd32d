#pragma once

namespace lh::Heap {

// Makes each free of a small block settle where it happens. By default glibc parks small
// freed blocks and merges them all at the next large allocation, on whichever thread makes it:
// the lists, maps and leaves the player frees in the background would then be merged by the
// main thread's next edit (some 15 ms of it at a million rows). Called once, before any thread
// starts.
void settleFreesWhereTheyHappen();

} // namespace lh::Heap
