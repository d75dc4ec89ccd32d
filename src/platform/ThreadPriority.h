#pragma once

namespace lh::ThreadPriority {

// Makes the calling thread yield the disk and the processor to everything else: the idle I/O
// class (it reads only when no one else waits for the disk), the idle scheduling policy and
// the weakest nice value. Linux keeps these per thread, so the rest of the process is left as
// it was. Returns whether the I/O class was taken: a kernel without it still runs the thread,
// only less politely.
bool lowerToIdle();

} // namespace lh::ThreadPriority
