#pragma once

#include <QString>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace lh {

// A local file or folder, named by its absolute path.
//
// The path is kept as the exact bytes the file system uses (Linux names need not be UTF-8),
// so a URL built from a folder listing opens the very file that was listed. Two URLs are
// equal when their paths are byte-equal and both are, or both are not, marked as folders.
class FileURL {
public:
    FileURL() = default;
    explicit FileURL(std::string path, bool isDirectory = false)
        : path_(std::move(path))
        , isDirectory_(isDirectory)
    {
    }

    // From a path in Qt's text form (converted with the locale's file-name encoding).
    static FileURL fromLocalFile(const QString& path, bool isDirectory = false);
    // From "file:///…" (percent-encoded) or a plain absolute path; nothing for other schemes,
    // remote hosts or relative paths.
    static std::optional<FileURL> fromUserInput(std::string_view text);

    const std::string& path() const noexcept { return path_; }
    bool isDirectory() const noexcept { return isDirectory_; }

    // The canonical form every playlist entry carries: "." and empty components dropped, ".."
    // resolved textually (never past the root), the folder flag kept. Touches no file.
    FileURL normalizedFileURL() const;

    // The last path component ("" for the root).
    std::string lastPathComponent() const;
    // The text after the last "." of the last component ("" when there is none).
    std::string pathExtension() const;
    // The last component without its extension.
    std::string stem() const;
    FileURL deletingLastPathComponent() const;
    FileURL appendingPathComponent(std::string_view name, bool isDirectory = false) const;

    // For display and for Qt APIs; not for opening files (use path()).
    QString toQString() const;
    // "file://…", percent-encoded.
    std::string toUri() const;

    bool operator==(const FileURL&) const = default;

private:
    std::string path_;
    bool isDirectory_ = false;
};

} // namespace lh

template <>
struct std::hash<lh::FileURL> {
    std::size_t operator()(const lh::FileURL& url) const noexcept
    {
        return std::hash<std::string>()(url.path()) ^ static_cast<std::size_t>(url.isDirectory());
    }
};
