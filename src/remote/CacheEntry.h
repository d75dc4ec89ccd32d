#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace lh {

// One file of a cache folder as eviction sees it: the least recently used go first.
struct CacheEntry {
    std::string name;
    std::int64_t size = 0;
    timespec modified {};

    static bool isOlder(const CacheEntry& a, const CacheEntry& b)
    {
        if (a.modified.tv_sec != b.modified.tv_sec)
            return a.modified.tv_sec < b.modified.tv_sec;
        return a.modified.tv_nsec < b.modified.tv_nsec;
    }
};

} // namespace lh
