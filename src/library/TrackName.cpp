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

std::pair<QString, QString> titleAndArtist(const Track& track)
{
    if (track.title)
        return { *track.title, track.artist.value_or(QString()) };
    const QString name = displayName(track);
    const qsizetype at = name.indexOf(separator);
    if (at < 0)
        return { name, QString() };
    return { name.mid(at + separator.size()), name.left(at) };
}

} // namespace lh::TrackName
