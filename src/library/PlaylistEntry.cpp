#include "PlaylistEntry.h"

#include <QStringDecoder>

#include <algorithm>

namespace lh {
namespace {

bool isAsciiLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size()
        && std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) { return a == (b >= 'A' && b <= 'Z' ? b - 'A' + 'a' : b); });
}

// The length of a URI scheme at the start of `text` (before its ":"), or 0. One letter is a
// Windows drive, not a scheme.
std::size_t schemeLength(std::string_view text)
{
    if (text.empty() || !isAsciiLetter(text[0]))
        return 0;
    std::size_t i = 1;
    while (i < text.size() && (isAsciiLetter(text[i]) || (text[i] >= '0' && text[i] <= '9') || text[i] == '+' || text[i] == '-' || text[i] == '.'))
        ++i;
    return i >= 2 && i < text.size() && text[i] == ':' ? i : 0;
}

bool isWindowsDrivePath(std::string_view text)
{
    return text.size() >= 2 && isAsciiLetter(text[0]) && text[1] == ':' && (text.size() == 2 || text[2] == '\\' || text[2] == '/');
}

// A URL of some scheme: file URLs name local files, those with an authority ("//") are
// network streams, anything else ("spotify:…") names nothing we can play. In a line of an
// M3U or PLS only file URLs and those with an authority count as URLs: "Live:1999.flac" is a
// file name there.
std::optional<PlaylistEntry::Resolved> fromURL(std::string_view text, bool isLine)
{
    const std::size_t scheme = schemeLength(text);
    if (scheme == 0 || (isLine && !startsWithNoCase(text, "file:") && !text.substr(scheme + 1).starts_with("//")))
        return std::nullopt;
    std::string_view rest = text.substr(scheme + 1);
    if (startsWithNoCase(text, "file:")) {
        // "file:/a" is as common in the wild as "file:///a".
        std::string url = "file://";
        if (rest.starts_with("//"))
            url += rest.substr(2);
        else if (rest.starts_with('/'))
            url += rest;
        else
            return PlaylistEntry::Resolved(PlaylistFile::SkipReason::notAnEntry);
        if (auto file = FileURL::fromUserInput(url))
            return PlaylistEntry::Resolved(file->normalizedFileURL());
        return PlaylistEntry::Resolved(PlaylistFile::SkipReason::notAnEntry);
    }
    if (rest.starts_with("//"))
        return PlaylistEntry::Resolved(PlaylistFile::SkipReason::stream);
    return PlaylistEntry::Resolved(PlaylistFile::SkipReason::notAnEntry);
}

FileURL underFolder(const std::string& folder, std::string_view relative)
{
    std::string path = folder;
    path += '/';
    path += relative;
    return FileURL(std::move(path)).normalizedFileURL();
}

// A URI reference merged with a base path: the base's last segment goes, as in a browser.
std::string merged(const std::string& base, std::string_view relative)
{
    const std::size_t slash = base.rfind('/');
    std::string path = slash == std::string::npos ? std::string("/") : base.substr(0, slash + 1);
    path += relative;
    return path;
}

// A relative or absolute-path reference, still percent-encoded, as the local file it names
// under `base`. The base is encoded before the two are joined, so a "%" in a folder's name is
// not taken for an escape.
std::optional<FileURL> referenced(std::string_view reference, const std::string& base)
{
    std::string uri = reference.starts_with('/') ? std::string("file://") : FileURL(merged(base, "")).toUri();
    uri += reference;
    return FileURL::fromUserInput(uri);
}

} // namespace

std::string_view PlaylistEntry::trimmed(std::string_view text)
{
    constexpr std::string_view space = " \t\r\n\f\v";
    const std::size_t first = text.find_first_not_of(space);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(space) - first + 1);
}

void PlaylistEntry::addTo(PlaylistFile::Contents& contents, std::string_view text, Resolved resolved)
{
    if (auto* file = std::get_if<FileURL>(&resolved))
        contents.entries.push_back(std::move(*file));
    else
        contents.skipped.push_back({ std::string(trimmed(text)), std::get<PlaylistFile::SkipReason>(resolved) });
}

bool PlaylistEntry::isValidUtf8(std::string_view text)
{
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    [[maybe_unused]] const QString decoded = decoder(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
    return !decoder.hasError();
}

PlaylistEntry::Resolved PlaylistEntry::fromLine(std::string_view text, const std::string& folder)
{
    text = trimmed(text);
    if (auto url = fromURL(text, true))
        return *std::move(url);
    if (text.starts_with("\\\\")) // a Windows network share: no local file
        return PlaylistFile::SkipReason::notAnEntry;
    if (text.starts_with('/'))
        return FileURL(std::string(text)).normalizedFileURL();

    // Windows paths are tried relative to the list's folder: a list that travelled with its
    // music keeps working, whichever drive it was made on. A backslash in a name without any
    // slash is taken as a separator too; Linux names rarely hold one.
    const bool isDrivePath = isWindowsDrivePath(text);
    if (isDrivePath)
        text.remove_prefix(2);
    std::string relative(text);
    if (isDrivePath || relative.find('/') == std::string::npos)
        std::replace(relative.begin(), relative.end(), '\\', '/');
    if (trimmed(relative).empty() || relative.find_first_not_of('/') == std::string::npos)
        return PlaylistFile::SkipReason::notAnEntry;
    return underFolder(folder, relative);
}

PlaylistEntry::Resolved PlaylistEntry::fromURI(std::string_view text, const std::optional<std::string>& base)
{
    text = trimmed(text);
    if (isWindowsDrivePath(text))
        return fromLine(text, base ? merged(*base, "") : std::string("/"));
    if (auto url = fromURL(text, false))
        return *std::move(url);
    if (text.empty() || text.starts_with("//"))
        return PlaylistFile::SkipReason::notAnEntry;
    if (!base) // relative to a stream's address
        return PlaylistFile::SkipReason::stream;
    if (auto file = referenced(text, *base))
        return file->normalizedFileURL();
    return PlaylistFile::SkipReason::notAnEntry;
}

std::optional<std::string> PlaylistEntry::resolveBase(std::string_view text, const std::optional<std::string>& base)
{
    text = trimmed(text);
    if (schemeLength(text) > 0) {
        if (!startsWithNoCase(text, "file://"))
            return std::nullopt;
        std::string url = "file://";
        url += text.substr(7);
        if (auto file = FileURL::fromUserInput(url))
            return file->path();
        return std::nullopt;
    }
    if (!base)
        return std::nullopt;
    if (auto file = referenced(text, *base))
        return file->path();
    return std::nullopt;
}

} // namespace lh
