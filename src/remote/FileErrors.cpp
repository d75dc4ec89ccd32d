#include "FileErrors.h"

#include <cerrno>

namespace lh {

bool FileError::isNoSuchFile() const noexcept
{
    return code().value() == ENOENT || code().value() == ENOTDIR;
}

bool FileError::isNoSpace() const noexcept
{
    return code().value() == ENOSPC || code().value() == EDQUOT;
}

void FileError::throwLast(const std::string& what)
{
    throw FileError(errno, what);
}

} // namespace lh
