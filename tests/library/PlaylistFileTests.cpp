#include "PlaylistFile.h"

#include <QStringEncoder>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace lh {

void PrintTo(const PlaylistFile::Skipped& skipped, std::ostream* out)
{
    *out << '"' << skipped.text << "\" (" << PlaylistFile::reasonText(skipped.reason).toStdString() << ')';
}

namespace {

using Reason = PlaylistFile::SkipReason;

struct ReadCase {
    std::string name;
    std::string list; // the list's path; its extension decides the format
    QByteArray bytes;
    std::vector<std::string> entries;
    std::vector<PlaylistFile::Skipped> skipped = {};
};

std::ostream& operator<<(std::ostream& out, const ReadCase& c)
{
    return out << c.name;
}

std::vector<std::string> paths(const std::vector<FileURL>& urls)
{
    std::vector<std::string> out;
    for (const FileURL& url : urls)
        out.push_back(url.path());
    return out;
}

class Reading : public ::testing::TestWithParam<ReadCase> {};

TEST_P(Reading, GivesTheEntriesInOrderAndWhatWasSkipped)
{
    const auto contents = PlaylistFile::read(FileURL(GetParam().list), GetParam().bytes);
    ASSERT_FALSE(contents.error) << contents.error->toStdString();
    EXPECT_EQ(paths(contents.entries), GetParam().entries);
    EXPECT_EQ(contents.skipped, GetParam().skipped);
}

std::string caseName(const ::testing::TestParamInfo<ReadCase>& info)
{
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(M3U, Reading,
    ::testing::Values(
        ReadCase { "AbsoluteRelativeAndComments", "/home/u/lists/road.m3u8",
            "#EXTM3U\n#EXTINF:312,Artist - Song\n/music/a.flac\n\n# a comment\nb.flac\n../other/c.mp3\nsub/./d.ogg\n",
            { "/music/a.flac", "/home/u/lists/b.flac", "/home/u/other/c.mp3", "/home/u/lists/sub/d.ogg" } },
        ReadCase { "CrlfAndByteOrderMark", "/l/x.m3u8", "\xEF\xBB\xBF#EXTM3U\r\n/m/a b.flac\r\n  /m/c.flac  \r\n",
            { "/m/a b.flac", "/m/c.flac" } },
        ReadCase { "FileURLs", "/l/x.m3u8",
            "file:///m/a%20b.flac\nfile://localhost/m/c.flac\nFILE:///m/%C3%A9.flac\nfile:/m/d.flac\nfile://nas/m/e.flac\n",
            { "/m/a b.flac", "/m/c.flac", "/m/\xC3\xA9.flac", "/m/d.flac" },
            { { "file://nas/m/e.flac", Reason::notAnEntry } } },
        ReadCase { "StreamsAndOtherURLs", "/l/x.m3u8",
            "http://radio.example/stream\n/m/a.flac\nHTTPS://x.example/b.mp3\nLive:1999.flac\nrtsp://cam/x\n",
            { "/m/a.flac", "/l/Live:1999.flac" },
            { { "http://radio.example/stream", Reason::stream }, { "HTTPS://x.example/b.mp3", Reason::stream },
                { "rtsp://cam/x", Reason::stream } } },
        ReadCase { "WindowsPaths", "/mnt/c/lists/x.m3u",
            "C:\\Music\\a.flac\r\n..\\b.flac\r\nsub\\c.flac\r\nd:/e.flac\r\n\\\\server\\share\\f.flac\r\n",
            { "/mnt/c/lists/Music/a.flac", "/mnt/c/b.flac", "/mnt/c/lists/sub/c.flac", "/mnt/c/lists/e.flac" },
            { { "\\\\server\\share\\f.flac", Reason::notAnEntry } } },
        // A backslash beside a slash is part of a Linux name.
        ReadCase { "BackslashInALinuxName", "/l/x.m3u8", "/m/AC\\DC.flac\n", { "/m/AC\\DC.flac" } },
        // Written raw by a tool that did not care: the bytes name the file.
        ReadCase { "NotUtf8InM3U8KeepsTheBytes", "/l/x.m3u8", "/m/caf\xE9.flac\n", { "/m/caf\xE9.flac" } },
        ReadCase { "LegacyM3U", "/l/x.m3u", "#EXTINF:1,Caf\xE9\n/m/Caf\xE9 cr\xE8me.flac\n", { "/m/Caf\xC3\xA9 cr\xC3\xA8me.flac" } },
        ReadCase { "LegacyM3UCyrillic", "/l/x.m3u", "/m/\xCF\xF0\xE8\xE2\xE5\xF2.mp3\n",
            { "/m/\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82.mp3" } },
        ReadCase { "Utf8M3UIsNotReencoded", "/l/x.m3u", "/m/\xC3\xA9.flac\n", { "/m/\xC3\xA9.flac" } },
        ReadCase { "NestedListsAreEntries", "/l/x.m3u8", "other.pls\n/l/x.m3u8\n", { "/l/other.pls", "/l/x.m3u8" } },
        ReadCase { "Empty", "/l/x.m3u", "", {} }),
    caseName);

INSTANTIATE_TEST_SUITE_P(PLS, Reading,
    ::testing::Values(
        ReadCase { "NumberOrder", "/l/mix.pls",
            "[playlist]\nFile2=/m/b.flac\nTitle2=B\nFile10=/m/j.flac\nfile1=/m/a.flac\nLength1=-1\nNumberOfEntries=3\nVersion=2\n",
            { "/m/a.flac", "/m/b.flac", "/m/j.flac" } },
        ReadCase { "UrlsRelativeAndCrlf", "/l/mix.pls",
            "\xEF\xBB\xBF[playlist]\r\nFile1=file:///m/a%20b.flac\r\nFile2=http://radio/x\r\nFile3=c.flac\r\n; note\r\n",
            { "/m/a b.flac", "/l/c.flac" }, { { "http://radio/x", Reason::stream } } },
        ReadCase { "LinesThatAreNotEntries", "/l/mix.pls", "[playlist]\ngarbage\nFileX=/m/x.flac\nFile1=\nFile2=/m/a.flac\n",
            { "/m/a.flac" },
            { { "garbage", Reason::notAnEntry }, { "FileX=/m/x.flac", Reason::notAnEntry }, { "", Reason::notAnEntry } } },
        ReadCase { "OtherSectionsIgnored", "/l/mix.pls", "[other]\nFile1=/m/x.flac\n[playlist]\nFile1=/m/a.flac\n", { "/m/a.flac" } }),
    caseName);

INSTANTIATE_TEST_SUITE_P(XSPF, Reading,
    ::testing::Values(
        ReadCase { "LocationsRelativeAndAbsolute", "/home/u/lists/party.xspf",
            R"(<?xml version="1.0" encoding="UTF-8"?>
<playlist version="1" xmlns="http://xspf.org/ns/0/"><title>x</title><trackList>
<track><location>file:///m/a%20b.flac</location><title>A</title></track>
<track><location>sub/c%C3%A9.flac</location></track>
<track><location>../d.flac</location></track>
<track><location>http://radio/x</location></track>
<track><title>no location</title></track>
<track><location>spotify:track:1</location></track>
</trackList></playlist>)",
            { "/m/a b.flac", "/home/u/lists/sub/c\xC3\xA9.flac", "/home/u/d.flac" },
            { { "http://radio/x", Reason::stream }, { "spotify:track:1", Reason::notAnEntry } } },
        ReadCase { "XmlBase", "/l/p.xspf",
            R"(<playlist version="1" xmlns="http://xspf.org/ns/0/" xml:base="file:///music/"><trackList>
<track><location>a.flac</location></track>
<track xml:base="rock/"><location>b.flac</location></track>
<track xml:base="http://host/"><location>c.flac</location></track>
</trackList></playlist>)",
            { "/music/a.flac", "/music/rock/b.flac" }, { { "c.flac", Reason::stream } } },
        // The folder's "%" is part of its name, the location's "%20" an escape.
        ReadCase { "PercentInTheListsFolder", "/m/50%/p.xspf",
            "<playlist><trackList><track><location>a%20b.flac</location></track>"
            "<track xml:base='http://host/x/'><location>/c.flac</location></track>"
            "<track><location>bad%zz.flac</location></track></trackList></playlist>",
            { "/m/50%/a b.flac" }, { { "/c.flac", Reason::stream }, { "bad%zz.flac", Reason::notAnEntry } } },
        ReadCase { "WindowsPathLocation", "/l/p.xspf", "<playlist><trackList><track><location>C:\\M\\a.flac</location></track></trackList></playlist>",
            { "/l/M/a.flac" } },
        ReadCase { "ByteOrderMarkAndLocationsOutsideTracks", "/l/p.xspf",
            "\xEF\xBB\xBF<playlist><location>/x.flac</location><trackList><track><location> /m/a.flac </location></track></trackList></playlist>",
            { "/m/a.flac" } }),
    caseName);

struct BadCase {
    std::string name;
    std::string list;
    QByteArray bytes;
};

std::ostream& operator<<(std::ostream& out, const BadCase& c)
{
    return out << c.name;
}

class BadInput : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadInput, GivesAnErrorAndNothingElse)
{
    const auto contents = PlaylistFile::read(FileURL(GetParam().list), GetParam().bytes);
    ASSERT_TRUE(contents.error);
    EXPECT_FALSE(contents.error->isEmpty());
    EXPECT_TRUE(contents.entries.empty());
    EXPECT_TRUE(contents.skipped.empty());
}

QByteArray manyLines(std::size_t count)
{
    QByteArray out;
    for (std::size_t i = 0; i < count; ++i)
        out += "a\n";
    return out;
}

INSTANTIATE_TEST_SUITE_P(PlaylistFile, BadInput,
    ::testing::Values(
        BadCase { "BinaryM3U", "/l/x.m3u", QByteArray("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16) },
        BadCase { "ControlCharactersInLegacyText", "/l/x.m3u", "/m/a.flac\n\x01\x02\xFF\n" },
        BadCase { "OneMegabyteLine", "/l/x.m3u8", QByteArray(1024 * 1024, 'a') + "\n/m/a.flac\n" },
        BadCase { "TooLarge", "/l/x.m3u8", QByteArray(PlaylistFile::maximumSize + 1, '\n') },
        BadCase { "TooManyEntries", "/l/x.m3u8", manyLines(PlaylistFile::maximumEntries + 1) },
        BadCase { "NotAPlaylistName", "/l/x.flac", "/m/a.flac\n" },
        BadCase { "XmlBomb", "/l/p.xspf",
            R"(<?xml version="1.0"?><!DOCTYPE lolz [<!ENTITY lol "lol"><!ENTITY lol2 "&lol;&lol;&lol;&lol;">]>
<playlist><trackList><track><location>&lol2;</location></track></trackList></playlist>)" },
        BadCase { "ExternalEntity", "/l/p.xspf",
            R"(<!DOCTYPE p [<!ENTITY x SYSTEM "file:///etc/passwd">]><playlist><trackList><track><location>&x;</location></track></trackList></playlist>)" },
        BadCase { "MalformedXml", "/l/p.xspf", "<playlist><trackList><track><location>/a.flac</location></track>" },
        BadCase { "OtherXml", "/l/p.xspf", "<html><body/></html>" }),
    [](const ::testing::TestParamInfo<BadCase>& info) { return info.param.name; });

TEST(PlaylistFile, FormatByExtensionInAnyCase)
{
    EXPECT_EQ(PlaylistFile::formatOf(FileURL("/a/B.M3U")), PlaylistFile::Format::m3u);
    EXPECT_EQ(PlaylistFile::formatOf(FileURL("/a/b.m3u8")), PlaylistFile::Format::m3u8);
    EXPECT_EQ(PlaylistFile::formatOf(FileURL("/a/b.Pls")), PlaylistFile::Format::pls);
    EXPECT_EQ(PlaylistFile::formatOf(FileURL("/a/b.xspf")), PlaylistFile::Format::xspf);
    EXPECT_FALSE(PlaylistFile::isPlaylist(FileURL("/a/m3u")));
    EXPECT_FALSE(PlaylistFile::isPlaylist(FileURL("/a/b.cue")));
}

class BoundedRead : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/lh-playlist-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder_ = pattern;
    }
    void TearDown() override
    {
        for (const char* name : { "/list.m3u", "/fifo.m3u", "/big.m3u" })
            ::unlink((folder_ + name).c_str());
        ::rmdir(folder_.c_str());
    }
    std::string folder_;
};

TEST_F(BoundedRead, ReadsAFileAndRefusesWhatIsNoListFile)
{
    std::ofstream(folder_ + "/list.m3u") << "/m/a.flac\n";
    const auto bytes = PlaylistFile::readBounded(FileURL(folder_ + "/list.m3u"));
    ASSERT_TRUE(std::holds_alternative<QByteArray>(bytes));
    EXPECT_EQ(std::get<QByteArray>(bytes), "/m/a.flac\n");

    EXPECT_TRUE(std::holds_alternative<QString>(PlaylistFile::readBounded(FileURL(folder_ + "/missing.m3u"))));
    EXPECT_TRUE(std::holds_alternative<QString>(PlaylistFile::readBounded(FileURL(folder_))));
    ASSERT_EQ(::mkfifo((folder_ + "/fifo.m3u").c_str(), 0600), 0);
    EXPECT_TRUE(std::holds_alternative<QString>(PlaylistFile::readBounded(FileURL(folder_ + "/fifo.m3u"))));
}

TEST_F(BoundedRead, RefusesAFileOverTheBoundWithoutReadingIt)
{
    // Sparse: nothing is written, the size alone must refuse it.
    const std::string path = folder_ + "/big.m3u";
    std::ofstream(path).close();
    ASSERT_EQ(::truncate(path.c_str(), 2LL * 1024 * 1024 * 1024), 0);
    const auto bytes = PlaylistFile::readBounded(FileURL(path));
    ASSERT_TRUE(std::holds_alternative<QString>(bytes));
    EXPECT_TRUE(std::get<QString>(bytes).contains(u"larger"));
}

} // namespace
} // namespace lh
