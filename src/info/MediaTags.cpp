#include "MediaTags.h"

#include "FileTags.h"
#include "MediaFile.h"
#include "TrackInfo.h"

#include <taglib/fileref.h>
#include <taglib/tpropertymap.h>

#include <exception>
#include <memory>

namespace lh {
namespace {

std::optional<QString> present(const std::optional<QString>& text)
{
    return text && !text->isEmpty() ? text : std::nullopt;
}

// The same entries, in the same order, as the info panel applies, so both agree on title,
// artist, album, year, genre and picture.
TrackInfo readCommonTags(const FileURL& file)
{
    std::vector<TagItem> items = FileTags::read(file);
    if (items.empty()) {
        try {
            items = FileTags::fromContainer(MediaFile(file));
        } catch (const MediaOpenError&) {
        }
    }
    TrackInfo found; // starts with no title, so a title here comes from a tag
    for (const TagItem& item : items)
        item.applyTo(found);
    return found;
}

std::vector<QString> values(const TagLib::PropertyMap& properties, const char* key)
{
    std::vector<QString> found;
    const auto entry = properties.find(key);
    if (entry == properties.end())
        return found;
    for (const TagLib::String& value : entry->second) {
        const QString text = QString::fromStdString(value.to8Bit(true)).trimmed();
        if (!text.isEmpty())
            found.push_back(text);
    }
    return found;
}

// "3" or "3/12": the leading number, when it is a positive one.
std::optional<int> number(const TagLib::PropertyMap& properties, const char* key)
{
    const std::vector<QString> found = values(properties, key);
    if (found.empty())
        return std::nullopt;
    bool isNumber = false;
    const int value = found.front().section(u'/', 0, 0).trimmed().toInt(&isNumber);
    return isNumber && value > 0 ? std::optional<int>(value) : std::nullopt;
}

// What the panel does not show: album artist, track and disc numbers, several artists and
// genres, in TagLib's format-independent names (which also spell ID3 genre numbers out).
void readProperties(const FileURL& file, MediaTags& tags)
{
    try {
        const TagLib::FileRef ref(file.path().c_str(), false);
        if (ref.isNull())
            return;
        const TagLib::PropertyMap properties = ref.file()->properties();
        if (auto artists = values(properties, "ARTIST"); artists.size() > 1)
            tags.artists = std::move(artists);
        if (auto genres = values(properties, "GENRE"); !genres.empty())
            tags.genres = std::move(genres);
        tags.albumArtists = values(properties, "ALBUMARTIST");
        tags.trackNumber = number(properties, "TRACKNUMBER");
        tags.discNumber = number(properties, "DISCNUMBER");
    } catch (const std::exception&) {
        // Out of memory inside TagLib: the common tags stand on their own.
    }
}

} // namespace

MediaTags MediaTags::read(const FileURL& url, const FileURL& file)
{
    MediaTags tags;
    tags.url = url;
    const TrackInfo common = readCommonTags(file);
    tags.title = present(common.title);
    if (const auto artist = present(common.artist))
        tags.artists = { *artist };
    tags.album = present(common.album);
    tags.year = present(common.year);
    if (const auto genre = present(common.genre))
        tags.genres = { *genre };
    tags.artwork = common.artwork;
    readProperties(file, tags);
    return tags;
}

} // namespace lh
