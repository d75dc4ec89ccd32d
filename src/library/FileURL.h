#pragma once

#include <QString>

#include <cstddef>
#include <functional>
#include <memory>
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
    explicit FileURL(std::string path, bool isDirectory = false);

    // From a path in Qt's text form (converted with the locale's file-name encoding).
    static FileURL fromLocalFile(const QString& path, bool isDirectory = false);
    // From "file:///…" (percent-encoded) or a plain absolute path; nothing for other schemes,
    // remote hosts or relative paths.
    static std::optional<FileURL> fromUserInput(std::string_view text);

    const std::string& path() const noexcept { return (path_ ? *path_ : emptyPath()).text; }
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

    // The path's hash, worked out once when the URL is made.
    std::size_t hash() const noexcept { return (path_ ? *path_ : emptyPath()).hash; }

    bool operator==(const FileURL& other) const noexcept
    {
        return isDirectory_ == other.isDirectory_ && (path_ == other.path_ || path() == other.path());
    }

private:
    // Playlists, their maps and the queues between threads copy URLs far more often than
    // anything makes one, so the path is shared and never changed: a copy costs a reference
    // count instead of an allocation, and a lookup does not hash the path again.
    struct Path {
        std::string text;
        std::size_t hash = 0;
    };
    static const Path& emptyPath() noexcept;

    std::shared_ptr<const Path> path_; // none for the default, empty URL
    bool isDirectory_ = false;
};

} // namespace lh

template <>
struct std::hash<lh::FileURL> {
    std::size_t operator()(const lh::FileURL& url) const noexcept
    {
        return url.hash() ^ static_cast<std::size_t>(url.isDirectory());
    }
};
