#include "FileFacts.h"

#include <utility>

namespace lh {

FileFacts FileFacts::mergedWith(FileFacts newer) const
{
    if (newer.stamp != stamp)
        return newer;
    if (!newer.stream)
        newer.stream = stream;
    if (!newer.tags)
        newer.tags = tags;
    if (!newer.hasEmbeddedCueSheet)
        newer.hasEmbeddedCueSheet = hasEmbeddedCueSheet;
    return newer;
}

} // namespace lh
