#pragma once

#include <QByteArray>

#include <optional>
#include <string>
#include <vector>

namespace lh {

// Plain file-system reads, injected into the parts that read outside files. Paths and names
// are byte strings: Linux file names need not be valid UTF-8. Both may block on a dead
// network share; callers run them off the main thread.
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

} // namespace FileSystem
} // namespace lh
