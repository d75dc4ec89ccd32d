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

bool isAscii(const std::string& bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

} // namespace

FindQuery::FindQuery(const QString& typed)
{
    for (const QString& word : typed.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString trimmed = word.trimmed();
        if (!trimmed.isEmpty())
            words_.push_back(folded(trimmed));
    }
    if (std::all_of(words_.begin(), words_.end(), [](const QString& word) { return isAscii(word); })) {
        for (const QString& word : words_)
            asciiWords_.push_back(word.toStdString());
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
    // A whole file's name is part of its path: an ASCII path with nothing else known is all
    // there is to look at, and its bytes are enough.
    const std::string& path = track.url.path();
    if (track.isWholeFile() && knownArtist.isEmpty() && knownAlbum.isEmpty() && !asciiWords_.empty() && isAscii(path))
        return matchesPath(path);
    // One text for every field, each on its own line so a word never spans two of them.
    QString text = TrackName::displayName(track);
    text += QLatin1Char('\n') + QString::fromStdString(path);
    for (const QString* field : { &knownArtist, &knownAlbum, track.artist ? &*track.artist : nullptr, track.album ? &*track.album : nullptr }) {
        if (field && !field->isEmpty())
            text += QLatin1Char('\n') + *field;
    }
    const QString haystack = folded(text);
    return std::all_of(words_.begin(), words_.end(), [&](const QString& word) { return haystack.contains(word); });
}

bool FindQuery::matchesPath(const std::string& path) const
{
    thread_local std::string lowered;
    lowered.resize(path.size());
    std::transform(path.begin(), path.end(), lowered.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; });
    return std::all_of(asciiWords_.begin(), asciiWords_.end(), [](const std::string& word) { return lowered.find(word) != std::string::npos; });
}

bool FindQuery::startsWith(const QString& name, const QString& typed)
{
    return folded(name).startsWith(folded(typed));
}

} // namespace lh
