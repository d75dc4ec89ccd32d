#include "FileSystem.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fstream>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lh {
namespace {

class FileSystemTest : public ::testing::Test {
protected:
    std::string path(const std::string& name) const { return dir.path().toStdString() + "/" + name; }
    void write(const std::string& name, const std::string& contents) const
    {
        std::ofstream(path(name), std::ios::binary) << contents;
    }
    QTemporaryDir dir;
};

TEST_F(FileSystemTest, ReadsAWholeFileByteForByte)
{
    std::string contents(300'000, '\0');
    for (std::size_t i = 0; i < contents.size(); ++i)
        contents[i] = static_cast<char>(i * 7);
    write("data.bin", contents);
    const auto read = FileSystem::readFile(path("data.bin"));
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->toStdString(), contents);
}

TEST_F(FileSystemTest, AnEmptyFileIsContentsAndAMissingFileOrAFolderIsNothing)
{
    write("empty", "");
    EXPECT_EQ(FileSystem::readFile(path("empty")), QByteArray());
    EXPECT_FALSE(FileSystem::readFile(path("missing")).has_value());
    EXPECT_FALSE(FileSystem::readFile(dir.path().toStdString()).has_value());
}

TEST_F(FileSystemTest, ListsHiddenAndNonUtf8NamesWithoutDotEntries)
{
    write(".hidden", "");
    write("Caf\xe9.flac", ""); // Latin-1 byte, not UTF-8
    write("b.cue", "");
    auto names = FileSystem::listFolder(dir.path().toStdString());
    std::ranges::sort(names);
    EXPECT_EQ(names, std::vector<std::string>({ ".hidden", "Caf\xe9.flac", "b.cue" }));
}

TEST_F(FileSystemTest, AFolderThatCannotBeListedGivesNothing)
{
    EXPECT_TRUE(FileSystem::listFolder(path("no-such-folder")).empty());
    write("file", "x");
    EXPECT_TRUE(FileSystem::listFolder(path("file")).empty());
}

TEST_F(FileSystemTest, APrivateFolderIsMadeWithItsParentsOrSaysWhyNot)
{
    ASSERT_TRUE(FileSystem::makePrivateFolder(path("a/b/c")));
    for (const char* made : { "a", "a/b", "a/b/c" }) {
        struct stat info {};
        ASSERT_EQ(::stat(path(made).c_str(), &info), 0) << made;
        EXPECT_EQ(info.st_mode & 0777, 0700u) << made;
    }
    ::chmod(path("a").c_str(), 0755);
    EXPECT_TRUE(FileSystem::makePrivateFolder(path("a"))); // already there: left as it is
    struct stat kept {};
    ::stat(path("a").c_str(), &kept);
    EXPECT_EQ(kept.st_mode & 0777, 0755u);

    write("file", "x");
    errno = 0;
    EXPECT_FALSE(FileSystem::makePrivateFolder(path("file")));
    EXPECT_EQ(errno, ENOTDIR);
    EXPECT_FALSE(FileSystem::makePrivateFolder(path("file/below")));
    EXPECT_EQ(errno, ENOTDIR);
}

TEST_F(FileSystemTest, AWholeBufferIsWrittenOrTheFailureSaysWhy)
{
    const QByteArray bytes(3 << 20, 'x'); // more than a pipe or socket takes in one write
    const int file = ::open(path("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(file, 0);
    EXPECT_TRUE(FileSystem::writeAll(file, bytes));
    ::close(file);
    EXPECT_EQ(FileSystem::readFile(path("out")), bytes);

    const int full = ::open("/dev/full", O_WRONLY);
    if (full >= 0) {
        EXPECT_FALSE(FileSystem::writeAll(full, bytes));
        EXPECT_EQ(errno, ENOSPC);
        ::close(full);
    }

    // A socket whose reader went: EPIPE, not a SIGPIPE that ends the process.
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    ::close(pair[1]);
    EXPECT_FALSE(FileSystem::writeAll(pair[0], bytes));
    EXPECT_EQ(errno, EPIPE);
    ::close(pair[0]);
}

} // namespace
} // namespace lh
