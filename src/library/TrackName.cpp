#include "TrackName.h"

#include <QFile>
#include <QRegularExpression>

namespace lh::TrackName {

namespace {

const QString separator = QStringLiteral(" - ");

} // namespace

std::optional<QString> year(const QString& text)
{
    // Unicode properties: \d and \s match what the platform's regular expressions match.
    static const QRegularExpression trailingYear(QStringLiteral("\\s*\\((\\d{4})\\)\\s*$"),
        QRegularExpression::UseUnicodePropertiesOption);
    const QRegularExpressionMatch match = trailingYear.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured(1);
}

QString displayName(const Track& track)
{
    if (!track.title)
        return QFile::decodeName(QByteArray::fromStdString(track.url.stem()));
    if (track.artist)
        return *track.artist + separator + *track.title;
    return *track.title;
}

QString shownName(const Track& track, const TagName* tagged)
{
    if (tagged && track.isWholeFile())
        return tagged->title;
    return displayName(track);
}

std::pair<QString, QString> shownTitleAndArtist(const Track& track, const TagName* tagged)
{
    if (tagged && track.isWholeFile())
        return { tagged->title, tagged->artist };
    return titleAndArtist(track);
}

std::pair<QString, QString> titleAndArtist(const Track& track)
{
    if (track.title)
        return { *track.title, track.artist.value_or(QString()) };
    auto [title, artist] = fileNameParts(displayName(track));
    return { std::move(title), artist.value_or(QString()) };
}

std::pair<QString, std::optional<QString>> fileNameParts(const QString& name)
{
    // ASCII digits only: a name in another script's digits is more likely a word than a number.
    static const QRegularExpression trackNumber(QStringLiteral("^(?:[0-9]{1,2}[-.])?[0-9]{1,3}$"));
    const qsizetype at = name.indexOf(separator);
    if (at < 0)
        return { name, std::nullopt };
    QString before = name.left(at);
    if (trackNumber.match(before).hasMatch())
        return { name.mid(at + separator.size()), std::nullopt };
    return { name.mid(at + separator.size()), std::move(before) };
}

} // namespace lh::TrackName
