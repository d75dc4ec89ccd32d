#include "FileStamp.h"

#include <sys/stat.h>

namespace lh {

std::optional<FileStamp> FileStamp::of(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    const std::int64_t nanoseconds = std::int64_t(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
    return FileStamp { std::int64_t(info.st_size), nanoseconds };
}

std::optional<FileStamp> FileStamp::ofCopy(const std::string& path)
{
    auto stamp = of(path);
    if (stamp)
        stamp->modified.reset();
    return stamp;
}

} // namespace lh
