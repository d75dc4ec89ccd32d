#include "MediaTags.h"

#include "AudioFixture.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace lh {
namespace {

class MediaTagsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::AudioFixture::generate({ "-f", "lavfi", "-i", "color=c=blue:s=8x8", "-frames:v", "1" }, path("cover.png")));
    }

    QString path(const QString& name) const { return folder_.path() + "/" + name; }
    FileURL url(const QString& name) const { return FileURL::fromLocalFile(path(name)); }

    QTemporaryDir folder_;
};

// ffmpeg writes each container's own fields: Vorbis comments, ID3v2.4 frames, MP4 atoms.
TEST_F(MediaTagsTest, ReadsWhatEachFormatStores)
{
    const QStringList tags { "-metadata", "title=Morning Song", "-metadata", "artist=The Larks", "-metadata",
        "album=First Light", "-metadata", "album_artist=Various Larks", "-metadata", "track=3/12", "-metadata",
        "disc=2/2", "-metadata", "genre=Folk", "-metadata", "date=2004-05-17" };
    const QStringList sine { "-f", "lavfi", "-i", "sine=duration=0.5" };
    const QStringList cover { "-i", path("cover.png"), "-map", "0", "-map", "1", "-c:v", "copy", "-disposition:v", "attached_pic" };
    const struct {
        const char* name;
        QStringList arguments;
        bool hasArt;
    } cases[] = {
        { "tagged.flac", sine + cover + tags, true },
        { "tagged.mp3", sine + cover + tags + QStringList { "-id3v2_version", "4" }, true },
        { "tagged.m4a", sine + tags, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(test::AudioFixture::generate(c.arguments, path(c.name)));
        const MediaTags read = MediaTags::read(FileURL("/playlist/song.flac"), url(c.name));
        EXPECT_EQ(read.url, FileURL("/playlist/song.flac"));
        EXPECT_EQ(read.title, "Morning Song");
        EXPECT_EQ(read.artists, std::vector<QString> { "The Larks" });
        EXPECT_EQ(read.album, "First Light");
        EXPECT_EQ(read.albumArtists, std::vector<QString> { "Various Larks" });
        EXPECT_EQ(read.trackNumber, 3);
        EXPECT_EQ(read.discNumber, 2);
        EXPECT_EQ(read.genres, std::vector<QString> { "Folk" });
        EXPECT_EQ(read.year, "2004");
        EXPECT_EQ(read.artwork.has_value(), c.hasArt);
    }
}

// Nothing comes from the file name: the caller keeps what it shows without tags.
TEST_F(MediaTagsTest, AFileWithoutTagsOrAFileThatIsNoneSaysNothing)
{
    ASSERT_TRUE(test::AudioFixture::generate({ "-f", "lavfi", "-i", "sine=duration=0.5", "-map_metadata", "-1",
                                                 "-fflags", "+bitexact" },
        path("Artist - Title (1999).flac")));
    QFile junk(path("junk.mp3"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(4096, '\x17'));
    junk.close();
    for (const char* name : { "Artist - Title (1999).flac", "junk.mp3", "missing.m4a" }) {
        SCOPED_TRACE(name);
        MediaTags nothing;
        nothing.url = url(name);
        EXPECT_EQ(MediaTags::read(url(name), url(name)), nothing);
    }
}

} // namespace
} // namespace lh
