#include "Volumes.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

// /proc/self/mountinfo is written by the kernel, but mount points are whatever users and
// automounters chose, escapes included.
//
// Input: the mountinfo text. Every mount point found is made a symbolic link to the next one
// (the last to the first), which gives chains and loops to resolve through.
namespace {

bool isHeldByShare(const std::string& path, const std::vector<lh::Volumes::Mount>& mounts)
{
    const auto holder = lh::Volumes::holder(lh::FileURL(path), mounts);
    return holder && !holder->isLocal;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto mounts = lh::Volumes::parseMountInfo(text);

    const auto readLink = [&](const std::string& path) -> std::optional<std::string> {
        // Nothing may look into a share to decide whether a file lies on one.
        if (isHeldByShare(path, mounts))
            std::abort();
        for (std::size_t i = 0; i < mounts.size(); ++i) {
            if (mounts[i].path == path)
                return mounts[(i + 1) % mounts.size()].path;
        }
        return std::nullopt;
    };

    lh::Volumes::RemoteTest batch(mounts, readLink);
    for (const auto& mount : mounts) {
        for (const std::string& path : { mount.path, mount.path + "/a/../b.flac", "/home/" + mount.path }) {
            if (path.empty() || path.front() != '/')
                continue;
            const auto holder = lh::Volumes::holder(lh::FileURL(path), mounts);
            if (holder && holder->path == "/")
                std::abort(); // the root mount never counts
            // A batch resolves folders once, and must answer as the single test does.
            if (batch(lh::FileURL(path)) != lh::Volumes::isRemoteAmong(lh::FileURL(path), mounts, readLink))
                std::abort();
        }
    }
    return 0;
}
