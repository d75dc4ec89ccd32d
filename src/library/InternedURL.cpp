#include "InternedURL.h"

#include <mutex>
#include <unordered_set>

namespace lh {

InternedURL::InternedURL(const FileURL& url)
{
    static std::mutex lock;
    // Never destroyed: rows of static lifetime (a test's, a late exit's) may still point here.
    static auto* const pool = new std::unordered_set<FileURL>();
    std::lock_guard guard(lock);
    url_ = &*pool->insert(url).first; // a set's elements never move
}

} // namespace lh
