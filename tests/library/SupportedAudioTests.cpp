#include "SupportedAudio.h"

#include <gtest/gtest.h>

namespace lh {
namespace {

TEST(SupportedAudio, AcceptsTheSevenExtensionsInAnyCase)
{
    for (const char* name : { "a.mp3", "a.wav", "a.aiff", "a.aif", "a.m4a", "a.aac", "a.flac", "Song.MP3", "x.FlAc" })
        EXPECT_TRUE(SupportedAudio::isSupported(FileURL(std::string("/m/") + name))) << name;
    for (const char* name : { "Song.ape", "Song.wv", "a.cue", "a.ogg", "mp3", ".mp3", "a.mp3.txt", "a." })
        EXPECT_FALSE(SupportedAudio::isSupported(FileURL(std::string("/m/") + name))) << name;
}

TEST(SupportedAudio, OpenDialogOffersAudioAndCueSheetsInBothCases)
{
    const QStringList patterns = SupportedAudio::openDialogPatterns();
    EXPECT_EQ(patterns.size(), 16);
    for (const char* pattern : { "*.mp3", "*.MP3", "*.aif", "*.AIF", "*.cue", "*.CUE", "*.flac" })
        EXPECT_TRUE(patterns.contains(pattern)) << pattern;
    EXPECT_TRUE(SupportedAudio::openDialogFilter().contains("(*.mp3 *.MP3"));
}

} // namespace
} // namespace lh
