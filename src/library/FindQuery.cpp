#include "FindQuery.h"

#include "TrackName.h"

#include <QStringList>

#include <algorithm>

namespace lh {

namespace {

bool isAscii(const QString& text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

} // namespace

FindQuery::FindQuery(const QString& typed)
{
    for (const QString& word : typed.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString trimmed = word.trimmed();
        if (!trimmed.isEmpty())
            words_.push_back(folded(trimmed));
    }
}

QString FindQuery::folded(const QString& text)
{
    // Most names and paths are plain ASCII: lower case is all their folding.
    if (isAscii(text))
        return text.toLower();
    QString decomposed = text.normalized(QString::NormalizationForm_KD);
    decomposed.removeIf([](QChar c) { return c.category() == QChar::Mark_NonSpacing; });
    return decomposed.toCaseFolded();
}

bool FindQuery::matches(const Track& track, const QString& knownArtist, const QString& knownAlbum) const
{
    if (words_.empty())
        return true;
    // One text for every field, each on its own line so a word never spans two of them.
    QString text = TrackName::displayName(track);
    text += QLatin1Char('\n') + QString::fromStdString(track.url.path());
    for (const QString* field : { &knownArtist, &knownAlbum, track.artist ? &*track.artist : nullptr, track.album ? &*track.album : nullptr }) {
        if (field && !field->isEmpty())
            text += QLatin1Char('\n') + *field;
    }
    const QString haystack = folded(text);
    return std::all_of(words_.begin(), words_.end(), [&](const QString& word) { return haystack.contains(word); });
}

bool FindQuery::startsWith(const QString& name, const QString& typed)
{
    return folded(name).startsWith(folded(typed));
}

} // namespace lh
