#include "FileURL.h"
#include "Track.h"

#include <gtest/gtest.h>

#include <unordered_set>

namespace lh {
namespace {

struct NormalisationCase {
    std::string input;
    std::string expected;
};

class Normalisation : public ::testing::TestWithParam<NormalisationCase> {};

TEST_P(Normalisation, IsPurelyTextual)
{
    EXPECT_EQ(FileURL(GetParam().input).normalizedFileURL().path(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(FileURL, Normalisation,
    ::testing::Values(
        NormalisationCase { "/Volumes/Music/./A//B/../c.flac", "/Volumes/Music/A/c.flac" },
        NormalisationCase { "/a/b/..", "/a" },
        NormalisationCase { "/a/./b/", "/a/b" },
        NormalisationCase { "/..", "/" },
        NormalisationCase { "/../../..", "/" },
        NormalisationCase { "/../a/../../b", "/b" },
        NormalisationCase { "/", "/" },
        NormalisationCase { "", "/" },
        NormalisationCase { "//mnt///nas//x.mp3", "/mnt/nas/x.mp3" },
        NormalisationCase { "/a/.../b", "/a/.../b" },
        NormalisationCase { "/a/b/.", "/a/b" },
        NormalisationCase { "relative/x", "/relative/x" },
        NormalisationCase { "/.a/b./c..", "/.a/b./c.." },
        NormalisationCase { "/music/Caf\xe9/..hidden", "/music/Caf\xe9/..hidden" }));

TEST(FileURL, NormalisationKeepsTheFolderFlag)
{
    EXPECT_TRUE(FileURL("/a/./b/", true).normalizedFileURL().isDirectory());
    EXPECT_FALSE(FileURL("/a/./b/", false).normalizedFileURL().isDirectory());
}

TEST(FileURL, EqualityFollowsNormalisationButNotCaseOrLinks)
{
    const FileURL plain("/music/x.flac");
    EXPECT_EQ(FileURL("/music/./x.flac").normalizedFileURL(), plain);
    EXPECT_EQ(FileURL("//music//x.flac").normalizedFileURL(), plain);
    EXPECT_EQ(FileURL("/music/sub/../x.flac").normalizedFileURL(), plain);
    EXPECT_NE(FileURL("/Music/x.flac").normalizedFileURL(), plain);
    EXPECT_NE(FileURL("/link-to-music/x.flac").normalizedFileURL(), plain);
    EXPECT_NE(FileURL("/music/x.flac", true), plain) << "the folder flag takes part";
}

TEST(FileURL, HashesAgreeWithEquality)
{
    std::unordered_set<FileURL> set { FileURL("/a/b"), FileURL("/a/./b").normalizedFileURL() };
    EXPECT_EQ(set.size(), 1u);
}

TEST(FileURL, NameParts)
{
    const FileURL url("/music/Album (1999)/01 Intro.Live.FLAC");
    EXPECT_EQ(url.lastPathComponent(), "01 Intro.Live.FLAC");
    EXPECT_EQ(url.pathExtension(), "FLAC");
    EXPECT_EQ(url.stem(), "01 Intro.Live");
    EXPECT_EQ(url.deletingLastPathComponent(), FileURL("/music/Album (1999)", true));
    EXPECT_EQ(url.deletingLastPathComponent().appendingPathComponent("a.cue"), FileURL("/music/Album (1999)/a.cue"));
    EXPECT_EQ(FileURL("/music/.hidden").pathExtension(), "");
    EXPECT_EQ(FileURL("/music/noext").stem(), "noext");
    EXPECT_EQ(FileURL("/x.mp3").deletingLastPathComponent(), FileURL("/", true));
}

TEST(FileURL, UrisRoundTripAnyBytes)
{
    const FileURL url("/music/Caf\xe9 & co/100% #1?.mp3");
    const std::string uri = url.toUri();
    EXPECT_EQ(uri, "file:///music/Caf%E9%20%26%20co/100%25%20%231%3F.mp3");
    EXPECT_EQ(FileURL::fromUserInput(uri), url);
}

TEST(FileURL, UserInputTakesFileUrisAndAbsolutePathsOnly)
{
    EXPECT_EQ(FileURL::fromUserInput("file:///a/b%20c.flac"), FileURL("/a/b c.flac"));
    EXPECT_EQ(FileURL::fromUserInput("file://localhost/a.mp3"), FileURL("/a.mp3"));
    EXPECT_EQ(FileURL::fromUserInput("file:///music/"), FileURL("/music/", true));
    EXPECT_EQ(FileURL::fromUserInput("/plain/path.wav"), FileURL("/plain/path.wav"));
    EXPECT_FALSE(FileURL::fromUserInput("relative/path.wav"));
    EXPECT_FALSE(FileURL::fromUserInput("http://example.com/a.mp3"));
    EXPECT_FALSE(FileURL::fromUserInput("file://otherhost/a.mp3"));
    EXPECT_FALSE(FileURL::fromUserInput("file:///bad%2"));
    EXPECT_FALSE(FileURL::fromUserInput("file:///bad%zz"));
}

TEST(Track, IsComparedOverAllSixFields)
{
    const Track base { FileURL("/a.flac"), 0, std::nullopt, std::nullopt, std::nullopt, std::nullopt, false, false };
    Track other = base;
    EXPECT_EQ(base, other);
    other.isRemote = true;
    EXPECT_NE(base, other);
    other = base;
    other.end = 12.5;
    EXPECT_NE(base, other);
    other = base;
    other.title = QString();
    EXPECT_NE(base, other) << "an empty title is still a title";
    EXPECT_TRUE(base.isWholeFile());
    EXPECT_FALSE(other.isWholeFile());
}

} // namespace
} // namespace lh
