#include "FileErrors.h"

#include <cerrno>

namespace lh {

bool FileError::isNoSuchFile() const noexcept
{
    return code().value() == ENOENT || code().value() == ENOTDIR;
}

void FileError::throwLast(const std::string& what)
{
    throw FileError(errno, what);
}

} // namespace lh
