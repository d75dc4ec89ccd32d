#include "MediaFile.h"

#include "AudioFixture.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace lh {
namespace {

class MediaFileTest : public ::testing::Test {
protected:
    QString path(const QString& name) const { return dir.path() + "/" + name; }
    void write(const QString& name, const QByteArray& contents) const
    {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(contents);
    }
    QTemporaryDir dir;
};

TEST_F(MediaFileTest, OpensEverySupportedFormat)
{
    for (const char* name : { "a.mp3", "a.wav", "a.aiff", "a.m4a", "a.aac", "a.flac", "a.ogg", "a.opus", "a.wv", "a.tta", "a.wma", "a.mka" }) {
        ASSERT_TRUE(test::AudioFixture::tone(path(name), 0.5)) << name;
        EXPECT_NO_THROW(MediaFile(FileURL::fromLocalFile(path(name)))) << name;
    }
    // This FFmpeg knows every demuxer allowed; a misspelt one would turn its format away.
    const QByteArray allowed(MediaFile::allowedDemuxers);
    for (const QByteArray& demuxer : allowed.split(','))
        EXPECT_NE(av_find_input_format(demuxer.constData()), nullptr) << demuxer.constData();
}

// An empty ID3v2.4 tag of `size` bytes of padding, as large covers make them.
QByteArray paddedTag(int size)
{
    QByteArray header("ID3\x04\x00\x00", 6);
    for (int shift = 21; shift >= 0; shift -= 7)
        header += static_cast<char>((size >> shift) & 0x7f);
    return header + QByteArray(size, '\0');
}

TEST_F(MediaFileTest, FindsTheDemuxerBehindALargeLeadingTag)
{
    const QByteArray tag = paddedTag(300'000);
    for (const auto& [name, demuxer] : { std::pair { "tagged.mp3", "mp3" }, { "tagged.aac", "aac" }, { "tagged.flac", "flac" } }) {
        ASSERT_TRUE(test::AudioFixture::tone(path("plain-") + name, 0.5)) << name;
        QFile plain(path("plain-") + name);
        ASSERT_TRUE(plain.open(QIODevice::ReadOnly));
        write(name, tag + plain.readAll());
        const MediaFile media(FileURL::fromLocalFile(path(name)));
        EXPECT_STREQ(media.context()->iformat->name, demuxer);
    }
    write("list.mp3", tag + "#EXTM3U\n#EXT-X-TARGETDURATION:10\n#EXTINF:10,\nhttp://127.0.0.1:9/x.ts\n#EXT-X-ENDLIST\n");
    EXPECT_THROW(MediaFile(FileURL::fromLocalFile(path("list.mp3"))), MediaOpenError);
}

TEST_F(MediaFileTest, OpensANameWithAColonAsAPlainFile)
{
    ASSERT_TRUE(test::AudioFixture::tone(path("http:x.wav"), 0.2));
    EXPECT_NO_THROW(MediaFile(FileURL::fromLocalFile(path("http:x.wav"))));
}

TEST_F(MediaFileTest, RefusesTextMissingFilesAndPlaylistsPosingAsAudio)
{
    write("text.mp3", "this is not audio at all, only words\n");
    write("list.mp3", "#EXTM3U\n#EXT-X-TARGETDURATION:10\n#EXTINF:10,\nhttp://127.0.0.1:9/x.ts\n#EXT-X-ENDLIST\n");
    write("concat.mp3", "ffconcat version 1.0\nfile '/etc/passwd'\n");
    // A playlist named like one of the formats whose demuxer only probes contents.
    write("list.opus", "#EXTM3U\n#EXT-X-TARGETDURATION:10\n#EXTINF:10,\nhttp://127.0.0.1:9/x.ts\n#EXT-X-ENDLIST\n");
    write("cut.ape", QByteArray("MAC \x96\x0f", 6)); // a download cut short in its header
    for (const char* name : { "text.mp3", "list.mp3", "concat.mp3", "missing.flac", "list.opus", "cut.ape" })
        EXPECT_THROW(MediaFile(FileURL::fromLocalFile(path(name))), MediaOpenError) << name;
}

} // namespace
} // namespace lh
