#include "FileSystem.h"
#include "PlaylistFile.h"
#include "PlaylistFileWriter.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace lh {
namespace {

using Format = PlaylistFile::Format;
using Row = PlaylistFileWriter::Row;

Row file(std::string path, std::optional<double> duration = std::nullopt, QString name = {})
{
    return Row { FileURL(std::move(path)), std::nullopt, duration, std::move(name) };
}

Row cueTrack(std::string audio, std::string sheet, double duration, QString name)
{
    return Row { FileURL(std::move(audio)), FileURL(std::move(sheet)), duration, std::move(name) };
}

struct WriteCase {
    std::string name;
    Format format;
    std::string list;
    std::vector<Row> rows;
    QByteArray expected;
};

std::ostream& operator<<(std::ostream& out, const WriteCase& c)
{
    return out << c.name;
}

class Writing : public ::testing::TestWithParam<WriteCase> {};

TEST_P(Writing, GivesTheFormatsText)
{
    EXPECT_EQ(PlaylistFileWriter::write(GetParam().format, FileURL(GetParam().list), GetParam().rows).toStdString(),
        GetParam().expected.toStdString());
}

INSTANTIATE_TEST_SUITE_P(PlaylistFileWriter, Writing,
    ::testing::Values(
        WriteCase { "M3U8RelativeWhenTheFolderHoldsAll", Format::m3u8, "/m/list.m3u8",
            { file("/m/a.flac", 312.4, u"Artist \u2013 Song"_qs), file("/m/sub/b.flac", std::nullopt, "B") },
            "#EXTM3U\n#EXTINF:312,Artist \xE2\x80\x93 Song\na.flac\n#EXTINF:-1,B\nsub/b.flac\n" },
        WriteCase { "M3U8AbsoluteWhenOneIsOutside", Format::m3u8, "/m/lists/list.m3u8",
            { file("/m/lists/a.flac", 1, "A"), file("/m/b.flac", 2, "B") },
            "#EXTM3U\n#EXTINF:1,A\n/m/lists/a.flac\n#EXTINF:2,B\n/m/b.flac\n" },
        WriteCase { "NamesAreOneLine", Format::m3u8, "/l/x.m3u8", { file("/m/a.flac", 1, "A\nB\r") },
            "#EXTM3U\n#EXTINF:1,A B \n/m/a.flac\n" },
        // Written as they stand these would read back as a comment, a trimmed name, a URL and
        // two lines.
        WriteCase { "PathsThatWouldReadBackWrongAreURIs", Format::m3u8, "/m/x.m3u8",
            { file("/m/#1.flac", 1, "a"), file("/m/b.flac ", 1, "b"), file("/m/c\nd.flac", 1, "c"), file("/m/caf\xE9.flac", 1, "e") },
            "#EXTM3U\n#EXTINF:1,a\nfile:///m/%231.flac\n#EXTINF:1,b\nfile:///m/b.flac%20\n"
            "#EXTINF:1,c\nfile:///m/c%0Ad.flac\n#EXTINF:1,e\nfile:///m/caf%E9.flac\n" },
        WriteCase { "CueTracksAsTheirSheetOnce", Format::m3u8, "/l/x.m3u8",
            { cueTrack("/m/CD.flac", "/m/CD.cue", 100, "One"), cueTrack("/m/CD.flac", "/m/CD.cue", 50.4, "Two"),
                file("/m/z.flac", 3, "Z"), cueTrack("/m/E.flac", "/m/E.flac", 10, "Embedded") },
            "#EXTM3U\n#EXTINF:150,CD\n/m/CD.cue\n#EXTINF:3,Z\n/m/z.flac\n#EXTINF:10,E\n/m/E.flac\n" },
        WriteCase { "PLS", Format::pls, "/m/mix.pls", { file("/m/a.flac", 3.6, "A"), file("/m/b.flac") },
            "[playlist]\nFile1=a.flac\nTitle1=A\nLength1=4\nFile2=b.flac\nTitle2=\nLength2=-1\nNumberOfEntries=2\nVersion=2\n" },
        WriteCase { "XSPF", Format::xspf, "/m/p.xspf", { file("/m/a b.flac", 1.5, "A & B"), file("/m/c.flac") },
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<playlist xmlns=\"http://xspf.org/ns/0/\" version=\"1\">\n"
            "    <trackList>\n        <track>\n            <location>a%20b.flac</location>\n            <title>A &amp; B</title>\n"
            "            <duration>1500</duration>\n        </track>\n        <track>\n            <location>c.flac</location>\n"
            "        </track>\n    </trackList>\n</playlist>\n" }),
    [](const ::testing::TestParamInfo<WriteCase>& info) { return info.param.name; });

std::vector<std::string> paths(const std::vector<FileURL>& urls)
{
    std::vector<std::string> out;
    for (const FileURL& url : urls)
        out.push_back(url.path());
    return out;
}

// A list of whole files, an external sheet's tracks, an embedded sheet's tracks and files on a
// share, in awkward names; read back, it names the same files in the same order, with each
// sheet once.
class RoundTrip : public ::testing::TestWithParam<std::tuple<Format, std::string>> {};

TEST_P(RoundTrip, ReadingTheWrittenListGivesTheSameFiles)
{
    const auto& [format, list] = GetParam();
    const std::vector<Row> rows {
        file("/home/u/Music/a.flac", 10, "A"),
        cueTrack("/home/u/Music/CD/CD.wav", "/home/u/Music/CD/CD.cue", 100, "One"),
        cueTrack("/home/u/Music/CD/CD.wav", "/home/u/Music/CD/CD.cue", 200, "Two"),
        cueTrack("/home/u/Music/Image.flac", "/home/u/Music/Image.flac", 60, "Embedded"),
        file("/home/u/Music/#hash, 50% & <x>.mp3"),
        file("/home/u/Music/caf\xC3\xA9 \xE9.ogg", 1, "Caf\u00e9"),
        file("/home/u/Music/C:\\odd name .flac"),
        file("/run/user/1000/gvfs/smb-share:server=nas,share=music/b.flac", 5, "On a share"),
    };
    const FileURL listURL(list);
    const auto contents = PlaylistFile::read(listURL, PlaylistFileWriter::write(format, listURL, rows));
    ASSERT_FALSE(contents.error) << contents.error->toStdString();
    EXPECT_TRUE(contents.skipped.empty());
    EXPECT_EQ(paths(contents.entries),
        (std::vector<std::string> { "/home/u/Music/a.flac", "/home/u/Music/CD/CD.cue", "/home/u/Music/Image.flac",
            "/home/u/Music/#hash, 50% & <x>.mp3", "/home/u/Music/caf\xC3\xA9 \xE9.ogg", "/home/u/Music/C:\\odd name .flac",
            "/run/user/1000/gvfs/smb-share:server=nas,share=music/b.flac" }));

    // Relative, when the list lies in a folder above every file.
    const FileURL besideURL("/" + FileURL(list).lastPathComponent());
    const auto beside = PlaylistFile::read(besideURL, PlaylistFileWriter::write(format, besideURL, rows));
    EXPECT_EQ(beside.entries, contents.entries);
}

INSTANTIATE_TEST_SUITE_P(PlaylistFileWriter, RoundTrip,
    ::testing::Values(std::tuple(Format::m3u8, "/home/u/lists/l.m3u8"), std::tuple(Format::m3u, "/home/u/lists/l.m3u"),
        std::tuple(Format::pls, "/home/u/lists/l.pls"), std::tuple(Format::xspf, "/home/u/lists/l.xspf")));

TEST(FileSystem, ReplaceFileKeepsTheModeAndLeavesNoTemporaryFile)
{
    char pattern[] = "/tmp/lh-replace-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string path = std::string(pattern) + "/list.m3u8";
    ASSERT_TRUE(FileSystem::replaceFile(path, "one"));
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    ASSERT_TRUE(FileSystem::replaceFile(path, "two"));
    EXPECT_EQ(FileSystem::readFile(path), QByteArray("two"));
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(FileSystem::listFolder(pattern), std::vector<std::string> { "list.m3u8" });
    EXPECT_FALSE(FileSystem::replaceFile(std::string(pattern) + "/missing/list.m3u8", "x"));
    ::unlink(path.c_str());
    ::rmdir(pattern);
}

} // namespace
} // namespace lh
