#include "FileSystem.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

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

} // namespace
} // namespace lh
