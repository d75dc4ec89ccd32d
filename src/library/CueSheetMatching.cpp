// Finding the audio file an entry names, when the sheet's spelling and the folder disagree.
#include "CueSheet.h"

#include "SupportedAudio.h"

#include <string_view>

namespace lh {
namespace {

QString canonical(const QString& text)
{
    return text.normalized(QString::NormalizationForm_C);
}

qsizetype extensionDot(QStringView name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot <= 0 || dot + 1 == name.size() ? -1 : dot;
}

QString stem(const QString& name)
{
    const qsizetype dot = extensionDot(name);
    return dot < 0 ? name : name.first(dot);
}

bool isAudioName(const QString& name)
{
    const qsizetype dot = extensionDot(name);
    if (dot < 0)
        return false;
    const QString extension = name.sliced(dot + 1).toLower();
    // The files the player plays: a sheet written for a WAV image finds the image however it
    // was compressed since.
    for (const std::string_view audio : SupportedAudio::fileExtensions) {
        if (extension == QLatin1StringView(audio))
            return true;
    }
    return false;
}

// Case and diacritics folded away, then only letters and digits kept, so "Café-Noir" and
// "cafe noir" give the same key.
QString looseKey(const QString& text)
{
    const QString decomposed = text.normalized(QString::NormalizationForm_D);
    QString bare;
    bare.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        if (c.category() != QChar::Mark_NonSpacing)
            bare += c;
    }
    // Qt folds case one character at a time; the full folding also turns ß into "ss".
    const QString folded = bare.toCaseFolded().replace(u'\u00DF', QStringLiteral("ss"));
    QString key;
    key.reserve(folded.size());
    for (qsizetype i = 0; i < folded.size(); ++i) {
        const bool isPair = folded[i].isHighSurrogate() && i + 1 < folded.size() && folded[i + 1].isLowSurrogate();
        const char32_t c = isPair ? QChar::surrogateToUcs4(folded[i], folded[i + 1]) : folded[i].unicode();
        if (QChar::isLetterOrNumber(c)) {
            key += folded[i];
            if (isPair)
                key += folded[i + 1];
        }
        i += isPair ? 1 : 0;
    }
    return key;
}

// A name that can only ever mean an entry of the folder itself.
bool isPlainName(std::string_view name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos
        && name.find('\0') == std::string_view::npos;
}

using Entry = CueSheet::Folder::Entry;

// The first rule that finds a candidate wins; within a rule the first candidate in order.
const Entry* match(const QString& name, const std::vector<const Entry*>& candidates)
{
    const QString canonicalName = canonical(name);
    for (const Entry* entry : candidates) {
        if (entry->name == canonicalName)
            return entry;
    }
    const QString nameStem = stem(canonicalName);
    for (const Entry* entry : candidates) {
        if (entry->stem == nameStem)
            return entry;
    }
    const QString key = looseKey(nameStem);
    if (key.isEmpty())
        return nullptr;
    for (const Entry* entry : candidates) {
        if (entry->key == key)
            return entry;
    }
    const Entry* containing = nullptr;
    for (const Entry* entry : candidates) {
        if (entry->key.contains(key)) {
            if (containing)
                return nullptr; // ambiguous: better no file than the wrong one
            containing = entry;
        }
    }
    return containing;
}

// A name written on another system ("C:\Music\Album\Disc.wav") is looked up by its last piece.
QString bareName(const QString& file)
{
    QStringView name = file;
    while (!name.isEmpty() && (name.back() == u'/' || name.back() == u'\\'))
        name.chop(1);
    const qsizetype separator = std::max(name.lastIndexOf(u'/'), name.lastIndexOf(u'\\'));
    name = name.sliced(separator + 1);
    return name.isEmpty() ? file : name.toString();
}

} // namespace

CueSheet::Folder::Folder(const std::vector<std::string>& names)
{
    entries_.reserve(names.size());
    for (const std::string& bytes : names) {
        if (!isPlainName(bytes))
            continue;
        Entry entry;
        entry.bytes = bytes;
        entry.name = canonical(QString::fromUtf8(bytes));
        entry.isAudio = isAudioName(entry.name);
        if (entry.isAudio) {
            entry.stem = stem(entry.name);
            entry.key = looseKey(entry.stem);
        }
        entries_.push_back(std::move(entry));
    }
    for (const Entry& entry : entries_) {
        if (entry.isAudio)
            audioFiles_.push_back(&entry);
    }
}

std::optional<FileURL> CueSheet::audioURL(const QString& file, const FileURL& cueURL, const std::vector<std::string>& folderFiles) const
{
    return audioURL(file, cueURL, Folder(folderFiles));
}

std::optional<FileURL> CueSheet::audioURL(const QString& file, const FileURL& cueURL, const Folder& folder) const
{
    const QString name = bareName(file);
    const FileURL folderURL = cueURL.deletingLastPathComponent();
    const auto inFolder = [&](const Entry* entry) -> std::optional<FileURL> {
        if (!entry)
            return std::nullopt;
        return folderURL.appendingPathComponent(entry->bytes);
    };

    // Linux keeps names as bytes and does not fold Unicode forms, so the entry spelled exactly
    // as in the sheet comes first, then one that is only canonically equal.
    const std::string nameBytes = name.toStdString();
    const QString canonicalName = canonical(name);
    const Entry* exact = nullptr;
    for (const Entry& entry : folder.entries()) {
        if (entry.bytes == nameBytes)
            return inFolder(&entry);
        if (!exact && entry.name == canonicalName)
            exact = &entry;
    }
    if (exact)
        return inFolder(exact);

    if (const Entry* found = match(name, folder.audioFiles()))
        return inFolder(found);
    if (hasSingleFile())
        return inFolder(match(stem(QString::fromUtf8(cueURL.lastPathComponent())), folder.audioFiles()));
    return std::nullopt;
}

bool CueSheet::hasSingleFile() const
{
    if (tracks.empty())
        return false;
    const QString& first = tracks.front().file;
    std::optional<QString> canonicalFirst;
    for (const Track& track : tracks) {
        if (track.file == first)
            continue;
        if (!canonicalFirst)
            canonicalFirst = canonical(first);
        if (canonical(track.file) != *canonicalFirst)
            return false;
    }
    return true;
}

} // namespace lh
