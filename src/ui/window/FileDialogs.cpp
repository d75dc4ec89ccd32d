#include "FileDialogs.h"

#include <QRegularExpression>

#include <array>

namespace lh {

namespace {

struct ExportFormat {
    const char* filter;
    const char* extension;
    PlaylistFile::Format format;
};
constexpr std::array<ExportFormat, 3> exportFormats { {
    { "M3U8 playlist (*.m3u8)", "m3u8", PlaylistFile::Format::m3u8 },
    { "PLS playlist (*.pls)", "pls", PlaylistFile::Format::pls },
    { "XSPF playlist (*.xspf)", "xspf", PlaylistFile::Format::xspf },
} };

} // namespace

QString FileDialogs::titleOf(Mode mode)
{
    switch (mode) {
    case Mode::openFiles:
        return QStringLiteral("Add Files");
    case Mode::chooseFolder:
        return QStringLiteral("Add Folder");
    case Mode::save:
        return QStringLiteral("Export Playlist");
    }
    return {};
}

FileDialogs::NameFilter FileDialogs::parseFilter(const QString& filter)
{
    static const QRegularExpression withPatterns(QStringLiteral("^(.*?)\\s*\\(([^()]*)\\)\\s*$"));
    const QRegularExpressionMatch match = withPatterns.match(filter);
    if (!match.hasMatch())
        return { filter.trimmed(), { QStringLiteral("*") } };
    return { match.captured(1), match.captured(2).split(QLatin1Char(' '), Qt::SkipEmptyParts) };
}

QStringList FileDialogs::exportFilters()
{
    QStringList filters;
    for (const ExportFormat& format : exportFormats)
        filters << QString::fromLatin1(format.filter);
    return filters;
}

FileDialogs::ExportChoice FileDialogs::exportChoice(const QString& name, int filterIndex)
{
    const FileURL typed = FileURL::fromLocalFile(name);
    if (const auto byName = PlaylistFile::formatOf(typed))
        return { typed, *byName == PlaylistFile::Format::m3u ? PlaylistFile::Format::m3u8 : *byName };
    const bool isOffered = filterIndex >= 0 && filterIndex < int(exportFormats.size());
    const ExportFormat& chosen = exportFormats[isOffered ? std::size_t(filterIndex) : 0];
    return { FileURL::fromLocalFile(name + QLatin1Char('.') + QLatin1String(chosen.extension)), chosen.format };
}

} // namespace lh
