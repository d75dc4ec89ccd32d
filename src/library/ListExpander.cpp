#include "ListExpander.h"

#include "PlaylistFile.h"
#include "SupportedAudio.h"

namespace lh {

ListExpander::ListExpander(ReadFile readFile, ListFolder listFolder, NotAddedReport& report)
    : readFile_(std::move(readFile))
    , listFolder_(std::move(listFolder))
    , report_(report)
{
}

std::vector<FileURL> ListExpander::expand(const std::vector<FileURL>& urls)
{
    result_.clear();
    result_.reserve(urls.size());
    for (const FileURL& url : urls) {
        FileURL normalized = url.normalizedFileURL();
        if (!normalized.isDirectory() && PlaylistFile::isPlaylist(normalized))
            open(normalized, 1);
        else
            result_.push_back(std::move(normalized));
    }
    return std::move(result_);
}

void ListExpander::open(const FileURL& list, int depth)
{
    if (!opened_.insert(list).second)
        return;
    const std::optional<QByteArray> bytes = readFile_(list);
    if (!bytes) {
        report_.note(exists(list) ? QStringLiteral("cannot be read, or larger than %1 MB").arg(PlaylistFile::maximumSize >> 20)
                                  : QStringLiteral("no such file"),
            list.path());
        return;
    }
    const PlaylistFile::Contents contents = PlaylistFile::read(list, *bytes);
    if (contents.error) {
        report_.note(*contents.error, list.path());
        return;
    }
    for (const PlaylistFile::Skipped& skipped : contents.skipped)
        report_.note(PlaylistFile::reasonText(skipped.reason), skipped.text);
    for (const FileURL& entry : contents.entries)
        take(entry, depth);
}

void ListExpander::take(const FileURL& entry, int depth)
{
    const bool isList = PlaylistFile::isPlaylist(entry);
    if (!isList && !SupportedAudio::isSupported(entry) && !SupportedAudio::isCueSheet(entry)) {
        report_.note(QStringLiteral("not an audio file, cue sheet or playlist the player opens"), entry.path());
    } else if (isList && opened_.contains(entry)) {
        // A list met again: its entries are in already, or are being added.
    } else if (isList && depth >= maximumDepth) {
        report_.note(QStringLiteral("playlists nested more than %1 deep").arg(maximumDepth), entry.path());
    } else if (!exists(entry)) {
        report_.note(QStringLiteral("no such file"), entry.path());
    } else if (isList) {
        open(entry, depth + 1);
    } else {
        result_.push_back(entry);
    }
}

bool ListExpander::exists(const FileURL& file)
{
    const FileURL folder = file.deletingLastPathComponent();
    auto names = folders_.find(folder);
    if (names == folders_.end()) {
        std::vector<std::string> listed = listFolder_(folder);
        names = folders_.emplace(folder, std::unordered_set<std::string>(listed.begin(), listed.end())).first;
    }
    return names->second.contains(file.lastPathComponent());
}

} // namespace lh
