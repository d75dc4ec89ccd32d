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

// The whole contents of a regular file, or nothing when it cannot be read.
std::optional<QByteArray> readFile(const std::string& path);

// The names in a folder, hidden ones included, in the file system's own order, without
// "." and ".."; empty when the folder cannot be read.
std::vector<std::string> listFolder(const std::string& path);

} // namespace FileSystem
} // namespace lh
