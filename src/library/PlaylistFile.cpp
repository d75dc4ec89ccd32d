// The line formats (M3U, M3U8, PLS), the bounds every format shares and the bounded read.
#include "PlaylistFile.h"

#include "CueSheet.h"
#include "PlaylistEntry.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lh {
namespace {

QString error(const char* text)
{
    return QString::fromUtf8(text);
}

// Text lists hold no control characters but line ends and tabs; a file that does is not text.
bool hasControlCharacters(std::string_view text)
{
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r' && byte != '\f' && byte != '\v') || byte == 0x7F;
    });
}

// The list as UTF-8 (without a byte-order mark). Only an M3U may be in a legacy encoding:
// M3U8, PLS and XSPF are UTF-8 by definition, and their bytes are kept as they stand, so a
// file name that is not valid UTF-8 written raw still opens.
QByteArray utf8Text(const QByteArray& bytes, PlaylistFile::Format format)
{
    const bool isUtf16 = bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF");
    if (format == PlaylistFile::Format::m3u && (isUtf16 || !PlaylistEntry::isValidUtf8(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())))))
        return CueSheet::decode(bytes).toUtf8();
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return bytes.sliced(3);
    return bytes;
}

std::string lowered(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return out;
}

// PLS: "FileN=" entries, taken in the order of N, whatever order the lines are in.
class PlsEntries {
public:
    // False when the line is neither a section, a comment nor a "key=value" pair.
    bool take(std::string_view line)
    {
        if (line.starts_with('[')) {
            section_ = lowered(line);
            return true;
        }
        if (line.starts_with(';') || line.starts_with('#'))
            return true;
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            return false;
        const std::string key = lowered(PlaylistEntry::trimmed(line.substr(0, equals)));
        if (!key.starts_with("file") || (!section_.empty() && section_ != "[playlist]"))
            return true; // titles, lengths, counts and other sections tell nothing about files
        std::uint64_t number = 0;
        const char* first = key.data() + 4;
        const char* last = key.data() + key.size();
        const auto [end, status] = std::from_chars(first, last, number);
        if (first == last || end != last || status != std::errc())
            return false;
        files_.push_back({ number, line.substr(equals + 1) });
        return true;
    }

    // The values in number order; equal numbers in the order they came.
    std::vector<std::pair<std::uint64_t, std::string_view>> files()
    {
        std::stable_sort(files_.begin(), files_.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        return std::move(files_);
    }

private:
    std::string section_;
    std::vector<std::pair<std::uint64_t, std::string_view>> files_;
};

} // namespace

PlaylistFile::Contents PlaylistFile::failed(QString message)
{
    Contents contents;
    contents.error = std::move(message);
    return contents;
}

QString PlaylistFile::tooLarge()
{
    return QStringLiteral("larger than %1 MB").arg(maximumSize / (1024 * 1024));
}

QString PlaylistFile::tooManyEntries()
{
    return QStringLiteral("more than %1 entries").arg(maximumEntries);
}

std::optional<PlaylistFile::Format> PlaylistFile::formatOf(const FileURL& url)
{
    const std::string extension = lowered(url.pathExtension());
    if (extension == "m3u")
        return Format::m3u;
    if (extension == "m3u8")
        return Format::m3u8;
    if (extension == "pls")
        return Format::pls;
    if (extension == "xspf")
        return Format::xspf;
    return std::nullopt;
}

QString PlaylistFile::reasonText(SkipReason reason)
{
    switch (reason) {
    case SkipReason::stream:
        return error("streams are not supported");
    case SkipReason::notAnEntry:
        return error("not a file entry");
    }
    return {};
}

PlaylistFile::Contents PlaylistFile::read(const FileURL& listURL, const QByteArray& bytes)
{
    const auto format = formatOf(listURL);
    if (!format)
        return failed(error("not a playlist file name (.m3u, .m3u8, .pls, .xspf)"));
    if (bytes.size() > maximumSize)
        return failed(tooLarge());
    if (*format == Format::xspf)
        return readXspf(listURL, bytes);
    // A zero byte outside UTF-16 is binary data; finding it first spares decoding megabytes
    // of an image as a legacy code page.
    const bool isUtf16 = bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF");
    if (!isUtf16 && bytes.contains('\0'))
        return failed(error("binary data, not a playlist"));
    const QByteArray text = utf8Text(bytes, *format);
    if (hasControlCharacters(std::string_view(text.constData(), static_cast<std::size_t>(text.size()))))
        return failed(error("binary data, not a playlist"));
    return readLines(listURL, std::string_view(text.constData(), static_cast<std::size_t>(text.size())), *format);
}

PlaylistFile::Contents PlaylistFile::readLines(const FileURL& listURL, std::string_view text, Format format)
{
    const std::string folder = listURL.deletingLastPathComponent().path();
    Contents contents;
    PlsEntries pls;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t newline = std::min(text.find('\n', start), text.size());
        const std::string_view line = PlaylistEntry::trimmed(text.substr(start, newline - start));
        if (static_cast<qsizetype>(newline - start) > maximumLineLength)
            return failed(QStringLiteral("a line longer than %1 KB").arg(maximumLineLength / 1024));
        start = newline + 1;
        if (line.empty())
            continue;
        if (format == Format::pls) {
            if (!pls.take(line))
                contents.skipped.push_back({ std::string(line), SkipReason::notAnEntry });
        } else if (!line.starts_with('#')) { // #EXTM3U, #EXTINF and comments
            PlaylistEntry::addTo(contents, line, PlaylistEntry::fromLine(line, folder));
        }
        if (isOverBound(contents))
            return failed(tooManyEntries());
    }
    for (const auto& [number, value] : pls.files()) {
        PlaylistEntry::addTo(contents, value, PlaylistEntry::fromLine(value, folder));
        if (isOverBound(contents))
            return failed(tooManyEntries());
    }
    return contents;
}

std::variant<QByteArray, QString> PlaylistFile::readBounded(const FileURL& url)
{
    // Not blocking, so that a FIFO named like a list is refused instead of waited on.
    const int fd = ::open(url.path().c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return error("not a regular file");
    }
    if (status.st_size > maximumSize) {
        ::close(fd);
        return tooLarge();
    }
    // One byte more than the bound, in case the file grew since fstat().
    QByteArray bytes(static_cast<qsizetype>(status.st_size) + 1, '\0');
    qsizetype filled = 0;
    while (filled < bytes.size()) {
        const ssize_t count = ::read(fd, bytes.data() + filled, static_cast<std::size_t>(bytes.size() - filled));
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) {
            const int code = errno;
            ::close(fd);
            return QString::fromLocal8Bit(std::strerror(code));
        }
        if (count == 0)
            break;
        filled += count;
        if (filled == bytes.size() && bytes.size() <= maximumSize)
            bytes.resize(std::min<qsizetype>(bytes.size() * 2, maximumSize + 1));
    }
    ::close(fd);
    if (filled > maximumSize)
        return tooLarge();
    bytes.truncate(filled);
    return bytes;
}

} // namespace lh
