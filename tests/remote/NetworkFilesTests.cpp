#include "NetworkFiles.h"

#include "Fifo.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace lh {
namespace {

// A temporary folder stands in for a share; the test decides which volumes are mounted.
class NetworkFilesTest : public ::testing::Test {
protected:
    FileURL url(const std::string& name) const { return FileURL(root + "/" + name); }
    void write(const std::string& name, const std::string& contents) const
    {
        std::ofstream(root + "/" + name, std::ios::binary) << contents;
    }
    std::string read(const std::string& name) const
    {
        std::ostringstream out;
        out << std::ifstream(root + "/" + name, std::ios::binary).rdbuf();
        return out.str();
    }
    bool exists(const std::string& name) const { return std::filesystem::exists(root + "/" + name); }

    QTemporaryDir dir;
    std::string root = dir.path().toStdString();
    std::vector<Volumes::Mount> mounts { { "/", true }, { root, false } };
    NetworkFiles files { [this] { return mounts; } };
    int progressCount = 0;
    Progress progress = [this] { ++progressCount; };
};

TEST_F(NetworkFilesTest, CopiesReportingProgressAfterOpeningAndAfterEachPieceRead)
{
    std::string contents(NetworkFiles::pieceSize * 5 / 2, '\0');
    for (std::size_t i = 0; i < contents.size(); ++i)
        contents[i] = static_cast<char>(i * 31 + i / 4096);
    write("song.flac", contents);
    files.copy(url("song.flac"), url("copy"), progress);
    EXPECT_EQ(progressCount, 4); // open, two whole pieces, half a piece
    EXPECT_TRUE(read("copy") == contents);
    EXPECT_EQ(files.size(url("song.flac")), static_cast<std::int64_t>(contents.size()));
}

TEST_F(NetworkFilesTest, AnEmptyFileMakesAnEmptyCopyWithOneProgressReport)
{
    write("empty.mp3", "");
    write("copy", "older contents");
    files.copy(url("empty.mp3"), url("copy"), progress);
    EXPECT_EQ(progressCount, 1);
    EXPECT_TRUE(exists("copy"));
    EXPECT_EQ(read("copy"), "");
}

TEST_F(NetworkFilesTest, AnErrorFromProgressEndsTheCopyAndRemovesTheDestination)
{
    write("song.flac", std::string(NetworkFiles::pieceSize * 2, 'x'));
    const Progress failing = [&] {
        if (++progressCount == 2)
            throw StalledError();
    };
    EXPECT_THROW(files.copy(url("song.flac"), url("copy"), failing), StalledError);
    EXPECT_FALSE(exists("copy"));
}

TEST_F(NetworkFilesTest, AFileGoneFromAMountedVolumeIsMissing)
{
    EXPECT_THROW(files.size(url("gone.flac")), MissingFileError);
    EXPECT_THROW(files.copy(url("gone.flac"), url("copy"), progress), MissingFileError);
    EXPECT_EQ(progressCount, 0);
    EXPECT_FALSE(exists("copy"));
}

TEST_F(NetworkFilesTest, AFifoIsNoFileToCopyAndIsNotWaitedOn)
{
    const test::Fifo fifo(root + "/pipe.flac");
    EXPECT_TRUE(fifo.returnsInTime([&] { EXPECT_THROW(files.copy(url("pipe.flac"), url("copy"), progress), MissingFileError); }));
    EXPECT_FALSE(exists("copy"));
}

TEST_F(NetworkFilesTest, AFileOnAVolumeThatIsNotMountedGivesTheNoSuchFileError)
{
    mounts = { { "/", true } };
    try {
        files.size(url("gone.flac"));
        FAIL() << "no error";
    } catch (const FileError& error) {
        EXPECT_TRUE(error.isNoSuchFile());
    }
}

TEST_F(NetworkFilesTest, ADestinationThatCannotBeCreatedFailsWithoutTouchingTheSource)
{
    write("song.flac", "abc");
    EXPECT_THROW(files.copy(url("song.flac"), url("no-folder/copy"), progress), FileError);
    EXPECT_EQ(read("song.flac"), "abc");
}

} // namespace
} // namespace lh
