#include "TagItem.h"

#include <gtest/gtest.h>

#include <vector>

namespace lh {
namespace {

using Key = TagItem::CommonKey;
using Id = TagItem::Identifier;

TagItem text(Key key, Id identifier, const QString& value)
{
    return { key, identifier, value, {} };
}

TrackInfo applied(const std::vector<TagItem>& items)
{
    TrackInfo info = TrackInfo::placeholder(FileURL("/m/Name Artist - Name Title (1999).mp3"));
    for (const TagItem& item : items)
        item.applyTo(info);
    return info;
}

TEST(TagItem, YearIsTheFirstFourCharactersOrFewer)
{
    EXPECT_EQ(applied({ text(Key::creationDate, Id::none, "99") }).year, "99");
    EXPECT_EQ(applied({ text(Key::none, Id::id3Year, "1987") }).year, "1987");
    EXPECT_EQ(applied({ text(Key::none, Id::id3RecordingTime, "2010-01-01T10:00") }).year, "2010");
    EXPECT_EQ(applied({ text(Key::none, Id::mp4ReleaseDate, "2019-03-01T08:00:00Z") }).year, "2019");
}

TEST(TagItem, LaterItemsOverwriteEarlierOnes)
{
    EXPECT_EQ(applied({ text(Key::creationDate, Id::none, "2004-05-17"), text(Key::none, Id::id3Year, "1999") }).year, "1999");
    EXPECT_EQ(applied({ text(Key::none, Id::id3Year, "1999"), text(Key::creationDate, Id::none, "2004-05-17") }).year, "2004");
    EXPECT_EQ(applied({ text(Key::title, Id::none, "First"), text(Key::title, Id::none, "Second") }).title, "Second");
}

TEST(TagItem, SpacesAndTabsAreTrimmedAndBlankTextIsIgnored)
{
    const TrackInfo info = applied({ text(Key::title, Id::none, " \t "), text(Key::artist, Id::none, "\t A  B \t"),
        text(Key::albumName, Id::none, "Two\nLines\n"), text(Key::creationDate, Id::none, "   ") });
    EXPECT_EQ(info.title, "Name Title");
    EXPECT_EQ(info.artist, "A  B");
    EXPECT_EQ(info.album, "Two\nLines\n"); // line breaks are not padding
    EXPECT_EQ(info.year, "1999");
}

TEST(TagItem, ArtworkIsKeptAsStoredAndEmptyArtworkIgnored)
{
    const QByteArray image("\x89PNG\r\n\x1a\n rest", 13);
    TrackInfo info = applied({ { Key::artwork, Id::none, {}, image }, { Key::artwork, Id::none, "text", {} } });
    EXPECT_EQ(info.artwork, image);
}

TEST(TagItem, ItemsWithoutAKnownKeyChangeNothing)
{
    EXPECT_EQ(applied({ text(Key::none, Id::none, "Anything") }), applied({}));
}

} // namespace
} // namespace lh
