#include "LaunchArguments.h"

#include <gtest/gtest.h>

namespace lh {
namespace {

std::vector<FileURL> filesOf(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), "larkhaven");
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    return filesFromArguments(int(argv.size()), argv.data(), "/home/me/Music");
}

TEST(LaunchArguments, TakesPathsAndFileURIsByteForByte)
{
    const std::vector<FileURL> files = filesOf({ "/abs/a.flac", "rel/../b.mp3", "file:///x/caf%C3%A9%FF.cue",
        "https://example.invalid/c.mp3", "-platform", "offscreen", "--", "./d.wav" });
    ASSERT_EQ(files.size(), 4u);
    EXPECT_EQ(files[0].path(), "/abs/a.flac");
    EXPECT_EQ(files[1].path(), "/home/me/Music/b.mp3");
    EXPECT_EQ(files[2].path(), "/x/caf\xc3\xa9\xff.cue");
    EXPECT_EQ(files[3].path(), "/home/me/Music/d.wav");
}

} // namespace
} // namespace lh
