#include "TrackInfo.h"

#include "TrackName.h"

#include <QFile>
#include <QRegularExpression>

#include <algorithm>

namespace lh {

TrackInfo TrackInfo::placeholder(const FileURL& url)
{
    // The same trailing year TrackName::year finds, removed from the title.
    static const QRegularExpression trailingYear(QStringLiteral("\\s*\\((\\d{4})\\)\\s*$"),
        QRegularExpression::UseUnicodePropertiesOption);
    const QString name = QFile::decodeName(QByteArray::fromStdString(url.stem()));
    TrackInfo info;
    info.url = url;
    auto [baseTitle, artist] = TrackName::fileNameParts(name);
    info.artist = std::move(artist);
    info.title = baseTitle.remove(trailingYear);
    info.year = TrackName::year(name);
    info.isLoading = true;
    return info;
}

TrackInfo TrackInfo::info(TrackInfo fileInfo, const Track& track)
{
    if (track.isWholeFile())
        return fileInfo;
    fileInfo.title = *track.title;
    fileInfo.artist = track.artist;
    fileInfo.replayGain = fileInfo.replayGain.forCueTrack(track.gains);
    if (track.isFromEmbeddedSheet) {
        fileInfo.cueSheetNote = QStringLiteral("cue sheet inside the file");
        if (fileInfo.sheetBeside)
            *fileInfo.cueSheetNote += QStringLiteral("; ") + *fileInfo.sheetBeside + QStringLiteral(" not used");
    } else if (fileInfo.hasEmbeddedCueSheet) {
        fileInfo.cueSheetNote = QStringLiteral("cue sheet opened; the one inside the file not used");
    }
    if (track.end)
        fileInfo.duration = std::max(0.0, *track.end - track.start);
    else if (fileInfo.duration)
        fileInfo.duration = std::max(0.0, *fileInfo.duration - track.start);
    return fileInfo;
}

} // namespace lh
