#include "SupportedAudio.h"

#include <gtest/gtest.h>

namespace lh {
namespace {

TEST(SupportedAudio, AcceptsWhatFFmpegPlaysInAnyCase)
{
    for (const char* name : { "a.mp3", "a.wav", "a.aiff", "a.aif", "a.m4a", "a.aac", "a.flac", "Song.MP3", "x.FlAc", "a.ogg",
             "a.oga", "a.opus", "Song.WV", "Song.ape", "a.tak", "a.tta", "a.mpc", "a.wma", "a.mka" })
        EXPECT_TRUE(SupportedAudio::isSupported(FileURL(std::string("/m/") + name))) << name;
    for (const char* name : { "a.cue", "a.mp4", "a.mkv", "a.m3u8", "mp3", ".mp3", "a.mp3.txt", "a." })
        EXPECT_FALSE(SupportedAudio::isSupported(FileURL(std::string("/m/") + name))) << name;
}

TEST(SupportedAudio, CueSheetsAreToldByTheirExtensionInAnyCase)
{
    for (const char* name : { "a.cue", "Album.CUE", "x.Cue", "a.flac.cue" })
        EXPECT_TRUE(SupportedAudio::isCueSheet(FileURL(std::string("/m/") + name))) << name;
    for (const char* name : { "a.cue.flac", "a.cues", "cue", ".cue", "a.cu", "a.mp3" })
        EXPECT_FALSE(SupportedAudio::isCueSheet(FileURL(std::string("/m/") + name))) << name;
}

TEST(SupportedAudio, OpenDialogOffersAudioCueSheetsAndPlaylistsInBothCases)
{
    const QStringList patterns = SupportedAudio::openDialogPatterns();
    EXPECT_EQ(patterns.size(), 44);
    for (const char* pattern : { "*.mp3", "*.MP3", "*.aif", "*.AIF", "*.cue", "*.CUE", "*.flac", "*.opus", "*.WV", "*.mka",
             "*.m3u", "*.M3U8", "*.pls", "*.XSPF" })
        EXPECT_TRUE(patterns.contains(pattern)) << pattern;
    EXPECT_TRUE(SupportedAudio::openDialogFilter().contains("(*.mp3 *.MP3"));
}

} // namespace
} // namespace lh
