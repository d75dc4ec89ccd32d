#include "PlaylistFileWriter.h"

#include "PlaylistEntry.h"

#include <QXmlStreamWriter>

#include <algorithm>
#include <cmath>

namespace lh {
namespace {

// What the list names: a row's file, or a run of cue tracks' sheet.
struct Item {
    std::string path; // absolute
    std::optional<double> duration;
    QString name;
};

std::vector<Item> items(const std::vector<PlaylistFileWriter::Row>& rows)
{
    std::vector<Item> out;
    std::optional<FileURL> lastSheet;
    for (const PlaylistFileWriter::Row& row : rows) {
        if (row.sheet && row.sheet == lastSheet) {
            Item& item = out.back();
            item.duration = item.duration && row.duration ? std::optional(*item.duration + *row.duration) : std::nullopt;
            continue;
        }
        lastSheet = row.sheet;
        const FileURL& file = row.sheet ? *row.sheet : row.file;
        out.push_back({ file.path(), row.duration, row.sheet ? QString::fromStdString(row.sheet->stem()) : row.name });
    }
    return out;
}

// "/music/" when the list's folder /music holds every item; empty when one lies outside.
std::string commonFolder(const FileURL& listURL, const std::vector<Item>& items)
{
    std::string folder = listURL.deletingLastPathComponent().path();
    if (!folder.ends_with('/'))
        folder += '/';
    const bool holdsAll = std::all_of(items.begin(), items.end(), [&](const Item& item) { return item.path.starts_with(folder) && item.path.size() > folder.size(); });
    return holdsAll ? folder : std::string();
}

// Whether a path written as it stands would read back as something else: a comment, a URL,
// a Windows path, text the reader trims, a line break, or bytes that would make the file
// not UTF-8 (and a .m3u then read in a legacy encoding).
bool needsURI(const std::string& path)
{
    if (path.empty())
        return true;
    const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\f' || c == '\v'; };
    const bool isDriveLike = path.size() >= 2 && path[1] == ':';
    return path.starts_with('#') || isSpace(path.front()) || isSpace(path.back()) || isDriveLike
        || path.find("://") != std::string::npos || path.starts_with("file:") || path.find('\\') != std::string::npos
        || std::any_of(path.begin(), path.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; })
        || !PlaylistEntry::isValidUtf8(path);
}

// An item's path as a line of an M3U or PLS.
QByteArray linePath(const Item& item, const std::string& folder)
{
    const std::string relative = folder.empty() ? item.path : item.path.substr(folder.size());
    if (needsURI(relative))
        return QByteArray::fromStdString(FileURL(item.path).toUri());
    return QByteArray::fromStdString(relative);
}

// Names are one line of text, whatever the tags held.
QString oneLine(QString name)
{
    for (QChar& c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = u' ';
    }
    return name;
}

QByteArray seconds(const std::optional<double>& duration)
{
    return duration && std::isfinite(*duration) && *duration >= 0 ? QByteArray::number(std::llround(*duration)) : QByteArray("-1");
}

QByteArray m3u8(const std::vector<Item>& items, const std::string& folder)
{
    QByteArray out = "#EXTM3U\n";
    for (const Item& item : items)
        out += "#EXTINF:" + seconds(item.duration) + ',' + oneLine(item.name).toUtf8() + '\n' + linePath(item, folder) + '\n';
    return out;
}

QByteArray pls(const std::vector<Item>& items, const std::string& folder)
{
    QByteArray out = "[playlist]\n";
    for (std::size_t i = 0; i < items.size(); ++i) {
        const QByteArray number = QByteArray::number(static_cast<qulonglong>(i + 1));
        out += "File" + number + '=' + linePath(items[i], folder) + '\n';
        out += "Title" + number + '=' + oneLine(items[i].name).toUtf8() + '\n';
        out += "Length" + number + '=' + seconds(items[i].duration) + '\n';
    }
    out += "NumberOfEntries=" + QByteArray::number(static_cast<qulonglong>(items.size())) + "\nVersion=2\n";
    return out;
}

// A URI reference: percent-encoded, relative to the list when the folder holds every item.
QString location(const Item& item, const std::string& folder)
{
    const std::string uri = FileURL(item.path).toUri();
    if (folder.empty())
        return QString::fromStdString(uri);
    // The encoded folder is a prefix of the encoded path: encoding works byte by byte.
    return QString::fromStdString(uri.substr(FileURL(folder).toUri().size()));
}

QByteArray xspf(const std::vector<Item>& items, const std::string& folder)
{
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeDefaultNamespace(QStringLiteral("http://xspf.org/ns/0/"));
    xml.writeStartElement(QStringLiteral("playlist"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("1"));
    xml.writeStartElement(QStringLiteral("trackList"));
    for (const Item& item : items) {
        xml.writeStartElement(QStringLiteral("track"));
        xml.writeTextElement(QStringLiteral("location"), location(item, folder));
        if (!item.name.isEmpty())
            xml.writeTextElement(QStringLiteral("title"), oneLine(item.name));
        if (item.duration && std::isfinite(*item.duration) && *item.duration >= 0)
            xml.writeTextElement(QStringLiteral("duration"), QString::number(std::llround(*item.duration * 1000)));
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    return out;
}

} // namespace

QByteArray PlaylistFileWriter::write(PlaylistFile::Format format, const FileURL& listURL, const std::vector<Row>& rows)
{
    const std::vector<Item> list = items(rows);
    const std::string folder = commonFolder(listURL, list);
    switch (format) {
    case PlaylistFile::Format::m3u:
    case PlaylistFile::Format::m3u8:
        return m3u8(list, folder);
    case PlaylistFile::Format::pls:
        return pls(list, folder);
    case PlaylistFile::Format::xspf:
        return xspf(list, folder);
    }
    return {};
}

} // namespace lh
