#include "CoverArtCache.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

namespace lh {
namespace {

QByteArray png(char fill, qsizetype size = 64)
{
    return QByteArray("\x89PNG\r\n\x1A\n", 8) + QByteArray(size, fill);
}

class CoverArtCacheTest : public ::testing::Test {
protected:
    FileURL folder() const { return FileURL::fromLocalFile(root_.path(), true).appendingPathComponent("covers", true); }
    QStringList files() const { return QDir(QString::fromStdString(folder().path())).entryList(QDir::Files, QDir::Name); }
    // Pictures stored in the same second still need an order to evict by.
    static void age(const FileURL& file, int secondsAgo)
    {
        const timespec when { ::time(nullptr) - secondsAgo, 0 };
        const timespec times[2] { when, when };
        ::utimensat(AT_FDCWD, file.path().c_str(), times, 0);
    }

    QTemporaryDir root_;
};

TEST_F(CoverArtCacheTest, OnePictureIsOneFileWhateverNumberOfTracksCarryIt)
{
    CoverArtCache cache(folder());
    EXPECT_FALSE(QFile::exists(QString::fromStdString(folder().path()))); // nothing until asked
    const auto first = cache.store(png('a'));
    const auto again = cache.store(png('a'));
    const auto other = cache.store(QByteArray("\xFF\xD8\xFF\xE0", 4) + QByteArray(32, 'j'));
    ASSERT_TRUE(first && other);
    EXPECT_EQ(first, again);
    EXPECT_NE(first, other);
    EXPECT_TRUE(first->path().ends_with(".png"));
    EXPECT_TRUE(other->path().ends_with(".jpg"));
    QFile stored(QString::fromStdString(first->path()));
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
    EXPECT_EQ(stored.readAll(), png('a'));
    EXPECT_EQ(files().size(), 2);
}

TEST_F(CoverArtCacheTest, BytesThatAreNoPictureOrTooLargeAreNotOffered)
{
    CoverArtCache cache(folder(), 8, 100);
    EXPECT_FALSE(cache.store(QByteArray("#!/bin/sh\nrm -rf ~\n")));
    EXPECT_FALSE(cache.store(QByteArray()));
    EXPECT_FALSE(cache.store(png('x', 200)));
    EXPECT_TRUE(files().isEmpty());
}

// The least recently used go first, by count and by size; the one just asked for stays, and a
// partial file a crash left behind goes.
TEST_F(CoverArtCacheTest, TheLeastRecentlyUsedGoWhenTheCountOrSizeIsPassed)
{
    CoverArtCache cache(folder(), 2, 200);
    const auto a = cache.store(png('a'));
    const auto b = cache.store(png('b'));
    age(*a, 30);
    age(*b, 20);
    ASSERT_TRUE(cache.store(png('a'))); // used again: now the newest
    QFile partial(QString::fromStdString(folder().path()) + "/left.png.partial");
    ASSERT_TRUE(partial.open(QIODevice::WriteOnly));
    partial.close();
    const auto c = cache.store(png('c'));
    QStringList kept { QString::fromStdString(a->lastPathComponent()), QString::fromStdString(c->lastPathComponent()) };
    kept.sort();
    EXPECT_EQ(files(), kept);

    age(*a, 10);
    const auto large = cache.store(png('L', 150)); // over the size limit with either other picture
    ASSERT_TRUE(large);
    EXPECT_EQ(files(), QStringList { QString::fromStdString(large->lastPathComponent()) });
}

} // namespace
} // namespace lh
