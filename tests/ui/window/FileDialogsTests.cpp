#include "FileDialogs.h"

#include <gtest/gtest.h>

namespace lh {
namespace {

// A save dialog's name and filter, as the playlist is then written.
TEST(FileDialogs, AnExportNameWithAListsExtensionSaysTheFormatElseTheFilterDoes)
{
    using Format = PlaylistFile::Format;
    struct Case {
        const char* name;
        int filter;
        const char* list;
        Format format;
    };
    const Case cases[] = {
        { "/x/road.pls", 0, "/x/road.pls", Format::pls },
        { "/x/road.M3U", 2, "/x/road.M3U", Format::m3u8 }, // M3U is written as M3U8
        { "/x/road", 2, "/x/road.xspf", Format::xspf },
        { "/x/road.txt", 1, "/x/road.txt.pls", Format::pls },
        { "/x/road", 7, "/x/road.m3u8", Format::m3u8 }, // a filter we never offered
    };
    for (const Case& c : cases) {
        const FileDialogs::ExportChoice choice = FileDialogs::exportChoice(QString::fromUtf8(c.name), c.filter);
        EXPECT_EQ(choice.list.path(), c.list) << c.name;
        EXPECT_EQ(choice.format, c.format) << c.name;
    }
}

TEST(FileDialogs, AFilterIsANameAndItsPatterns)
{
    const FileDialogs::NameFilter audio = FileDialogs::parseFilter(QStringLiteral("Audio files (*.flac *.FLAC  *.cue)"));
    EXPECT_EQ(audio.name, "Audio files");
    EXPECT_EQ(audio.patterns, QStringList({ "*.flac", "*.FLAC", "*.cue" }));
    const FileDialogs::NameFilter plain = FileDialogs::parseFilter(QStringLiteral("Anything"));
    EXPECT_EQ(plain.name, "Anything");
    EXPECT_EQ(plain.patterns, QStringList({ "*" }));
}

} // namespace
} // namespace lh
