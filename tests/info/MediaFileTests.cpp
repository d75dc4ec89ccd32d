#include "MediaFile.h"

#include "AudioFixture.h"

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
    for (const char* name : { "a.mp3", "a.wav", "a.aiff", "a.m4a", "a.aac", "a.flac" }) {
        ASSERT_TRUE(test::AudioFixture::tone(path(name), 0.5)) << name;
        EXPECT_NO_THROW(MediaFile(FileURL::fromLocalFile(path(name)))) << name;
    }
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
    for (const char* name : { "text.mp3", "list.mp3", "concat.mp3", "missing.flac" })
        EXPECT_THROW(MediaFile(FileURL::fromLocalFile(path(name))), MediaOpenError) << name;
}

} // namespace
} // namespace lh
