#include "CueSheet.h"

#include <gtest/gtest.h>

namespace lh {
namespace {

// A sheet naming `files` (the first is looked up) in a folder listing `folder`.
struct MatchCase {
    const char* name;
    std::vector<const char*> files;
    std::vector<std::string> folder;
    std::optional<std::string> expected; // the folder entry found
    const char* cueName = "Album.cue";
};

class CueSheetMatching : public ::testing::TestWithParam<MatchCase> {};

CueSheet sheetNaming(const std::vector<const char*>& files)
{
    QString text;
    int number = 1;
    for (const char* file : files)
        text += QStringLiteral("FILE \"%1\" WAVE\nTRACK %2 AUDIO\nINDEX 01 00:00:00\n").arg(QString::fromUtf8(file)).arg(number++);
    return CueSheet(text);
}

TEST_P(CueSheetMatching, FindsTheFolderEntryTheSheetMeans)
{
    const MatchCase& c = GetParam();
    const CueSheet sheet = sheetNaming(c.files);
    ASSERT_EQ(sheet.tracks.size(), c.files.size());
    const FileURL cueURL(std::string("/music/Album/") + c.cueName);
    const auto found = sheet.audioURL(QString::fromUtf8(c.files.front()), cueURL, c.folder);
    std::optional<FileURL> expected;
    if (c.expected)
        expected = FileURL("/music/Album/" + *c.expected);
    EXPECT_EQ(found, expected);
}

const std::string cafeDecomposed = "Cafe\xCC\x81.flac";

INSTANTIATE_TEST_SUITE_P(CueSheet, CueSheetMatching,
    ::testing::Values(
        MatchCase { "ExactName", { "a.flac" }, { "Album.cue", "b.flac", "a.flac" }, "a.flac" },
        MatchCase { "ExactNameOfAnyType", { "a.dat" }, { "a.dat" }, "a.dat" },
        MatchCase { "WindowsPath", { "C:\\Music\\Album\\Disc.wav" }, { "Disc.wav" }, "Disc.wav" },
        MatchCase { "TrailingSeparators", { "sub/Disc.wav\\" }, { "Disc.wav" }, "Disc.wav" },
        MatchCase { "ReencodedFile", { "01 Intro.wav" }, { "cover.jpg", "01 Intro.flac" }, "01 Intro.flac" },
        MatchCase { "CaseAndAccents", { "Café-Noir.wav", "x.wav" }, { "cafe noir.flac" }, "cafe noir.flac" },
        MatchCase { "ExtensionCase", { "a.wav", "x.wav" }, { "A.FLAC" }, "A.FLAC" },
        MatchCase { "SharpS", { "Straße.wav", "x.wav" }, { "STRASSE.flac" }, "STRASSE.flac" },
        MatchCase { "OneCandidateContainsTheKey", { "Intro.wav", "x.wav" }, { "01 - Intro.flac", "02 - Outro.flac" }, "01 - Intro.flac" },
        MatchCase { "TwoCandidatesContainTheKey", { "Intro.wav", "x.wav" }, { "01 Intro.flac", "02 Intro (live).flac" }, std::nullopt },
        MatchCase { "OnlyAudioFilesAreCandidates", { "Intro.wav", "x.wav" }, { "Intro.txt", "Intro.log" }, std::nullopt },
        MatchCase { "AWavImageFindsItsMonkeysAudioFile", { "a.wav", "x.wav" }, { "a.ape" }, "a.ape" },
        MatchCase { "AWavImageFindsItsWavPackFileByLooseName", { "Café.wav", "x.wav" }, { "cafe.WV" }, "cafe.WV" },
        MatchCase { "ASheetForOpusOrTakFindsIt", { "a.opus", "b.tak" }, { "b.tak", "A.Opus", "a.txt" }, "A.Opus" },
        MatchCase { "OtherFilesAreNoCandidates", { "Intro.wav", "x.wav" }, { "Intro.mp4", "Intro.mkv" }, std::nullopt },
        MatchCase { "EmptyKeyMatchesNothing", { "---.wav", "x.wav" }, { "a.flac" }, std::nullopt },
        MatchCase { "SingleFileSheetFallsBackToItsOwnName", { "Old Name.wav" }, { "Album.cue", "Album.flac" }, "Album.flac" },
        MatchCase { "TwoFileSheetHasNoFallback", { "Old Name.wav", "Other.wav" }, { "Album.cue", "Album.flac" }, std::nullopt },
        MatchCase { "DecomposedEntryMatchesAPrecomposedName", { "Café.flac" }, { cafeDecomposed }, cafeDecomposed },
        MatchCase { "TheEntrySpelledAsInTheSheetComesFirst", { "Café.flac" }, { cafeDecomposed, "Café.flac" }, "Café.flac" },
        MatchCase { "NeverLeavesTheFolder", { "../../etc/passwd" }, { "..", "passwd.flac", "etc" }, "passwd.flac" },
        MatchCase { "ADotDotNameFindsNothing", { "..", "x.wav" }, { "..", ".", "a/b.flac" }, std::nullopt },
        MatchCase { "NoName", { "\\", "x.wav" }, { "Album.flac" }, std::nullopt }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CueSheetMatching, ThePreparedFolderKeepsOnlyPlainNamesAndKnowsItsAudioFiles)
{
    const CueSheet::Folder folder({ ".", "..", "", "a.FLAC", "b.txt", "c.wv", ".flac", "d.aac", "e.ogg" });
    std::vector<std::string> audio;
    for (const auto* entry : folder.audioFiles())
        audio.push_back(entry->bytes);
    EXPECT_EQ(folder.entries().size(), 6u);
    EXPECT_EQ(audio, std::vector<std::string>({ "a.FLAC", "c.wv", "d.aac", "e.ogg" }));
}

} // namespace
} // namespace lh
