#pragma once

#include <QByteArray>

#include <optional>
#include <string>
#include <vector>

namespace lh {

// Plain file-system reads, injected into the parts that read outside files, and the two writes
// every part that keeps files of its own needs. Paths and names are byte strings: Linux file
// names need not be valid UTF-8. All of them may block on a dead network share; callers run
// them off the main thread.
namespace FileSystem {

// The whole contents of a regular file, or nothing when it cannot be read or is no regular
// file: a FIFO is never waited on.
std::optional<QByteArray> readFile(const std::string& path);

// The names in a folder, hidden ones included, in the file system's own order, without
// "." and ".."; empty when the folder cannot be read.
std::vector<std::string> listFolder(const std::string& path);

// The same, but only the names of regular files (links followed): what may be read or played.
std::vector<std::string> listFiles(const std::string& path);

// Whether `path` is a regular file (links followed). Looks without opening it: opening a FIFO
// to read waits until something writes to it.
bool isRegularFile(const std::string& path);

// Writes all `size` bytes to `fd`, a file or a socket, however many calls it takes (signals
// interrupting it are gone through). False, with errno telling why, when a write fails or
// writes nothing; a socket whose peer has gone fails with EPIPE instead of raising SIGPIPE.
bool writeAll(int fd, const char* data, std::size_t size);
inline bool writeAll(int fd, const QByteArray& bytes)
{
    return writeAll(fd, bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

// Makes `path` a folder, with every missing folder above it, each new one readable by its user
// only (mode 0700); a folder already there is left as it is. False, with errno telling why,
// when `path` is no folder in the end.
bool makePrivateFolder(const std::string& path);

// Replaces (or makes) the file `path` with `bytes` in one step: they are written to a new file
// beside it, flushed, and renamed over it, so a reader sees the old file or the new one and a
// failure leaves the old one as it was. A new file gets mode 0644, a replaced one keeps its
// mode. False, with errno telling why, when it failed.
bool replaceFile(const std::string& path, const QByteArray& bytes);

} // namespace FileSystem
} // namespace lh
