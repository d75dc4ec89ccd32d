#pragma once

#include <string>
#include <system_error>

namespace lh {

// A network file is gone although the volume that held it is still mounted.
struct MissingFileError : std::exception {
    const char* what() const noexcept override { return "missing file"; }
};

// A guarded operation made no progress for longer than its stall limit.
struct StalledError : std::exception {
    const char* what() const noexcept override { return "stalled"; }
};

// A failed file-system call, with its errno.
class FileError : public std::system_error {
public:
    FileError(int code, const std::string& what)
        : std::system_error(code, std::generic_category(), what)
    {
    }

    // ENOENT and ENOTDIR: the file (or a folder on its path) does not exist.
    bool isNoSuchFile() const noexcept;
    // ENOSPC and EDQUOT: the disk written to is full.
    bool isNoSpace() const noexcept;

    // Throws a FileError for the current errno.
    [[noreturn]] static void throwLast(const std::string& what);
};

} // namespace lh
