#include "Heap.h"

#include <malloc.h>

namespace lh::Heap {

void settleFreesWhereTheyHappen()
{
    // Each thread's small cache of freed blocks still serves the hot path.
    ::mallopt(M_MXFAST, 0);
}

} // namespace lh::Heap
