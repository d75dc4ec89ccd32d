#include "TagItem.h"

namespace lh {
namespace {

bool isSpaceOrTab(QChar c)
{
    return c == u' ' || c == u'\t';
}

// Line breaks inside or around a value are kept: only spaces and tabs pad tag values.
QString trimmedOfSpacesAndTabs(const QString& text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && isSpaceOrTab(text[first]))
        ++first;
    while (last > first && isSpaceOrTab(text[last - 1]))
        --last;
    return text.mid(first, last - first);
}

} // namespace

void TagItem::applyTo(TrackInfo& info) const
{
    if (commonKey == CommonKey::artwork) {
        if (!data.isEmpty())
            info.artwork = data;
        return;
    }
    const QString value = trimmedOfSpacesAndTabs(text);
    if (value.isEmpty())
        return;

    switch (commonKey) {
    case CommonKey::title: info.title = value; break;
    case CommonKey::artist: info.artist = value; break;
    case CommonKey::albumName: info.album = value; break;
    case CommonKey::creationDate: info.year = value.left(4); break;
    case CommonKey::none:
    case CommonKey::artwork: break;
    }

    switch (identifier) {
    case Identifier::id3Year:
    case Identifier::id3RecordingTime:
    case Identifier::mp4ReleaseDate: info.year = value.left(4); break;
    case Identifier::id3ContentType:
    case Identifier::mp4UserGenre:
    case Identifier::plainGenre: info.genre = value; break;
    case Identifier::none: break;
    }
}

} // namespace lh
