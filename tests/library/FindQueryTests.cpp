#include "FindQuery.h"

#include <gtest/gtest.h>

namespace lh {
namespace {

Track wholeFile(const std::string& path)
{
    Track track;
    track.url = FileURL(path);
    return track;
}

Track cueTrack(const std::string& path, const char* title, const char* performer, const char* album)
{
    Track track = wholeFile(path);
    track.title = QString::fromUtf8(title);
    track.artist = QString::fromUtf8(performer);
    track.album = QString::fromUtf8(album);
    return track;
}

TEST(FindQuery, EveryWordMustAppearInTheNamePathOrKnownTagsIgnoringCaseAndAccents)
{
    const Track song = wholeFile("/home/me/Music/Ana Silva/Sunset Boulevard/03 Dawn Chorus.flac");
    const Track accented = wholeFile("/home/me/Música/Beyoncé/Été.mp3");
    const Track sheet = cueTrack("/nas/Live/CDImage.flac", "Ouverture", "Orquesta Nacional", "En Vivo");
    const struct {
        const char* typed;
        const Track& track;
        const char* artist;
        const char* album;
        bool matches;
    } cases[] = {
        { "dawn", song, "", "", true },
        { "DAWN chorus", song, "", "", true },
        { "chorus   dawn", song, "", "", true }, // any order, any spacing
        { "dawn dusk", song, "", "", false }, // every word, not any
        { "silva boulevard", song, "", "", true }, // from the path's folders
        { ".flac", song, "", "", true },
        { "flac03", song, "", "", false },
        { "beyonce ete", accented, "", "", true }, // accents typed without
        { "BEYONCÉ", accented, "", "", true },
        { "musica", accented, "", "", true },
        { "ouverture nacional vivo", sheet, "", "", true }, // a cue track's title, performer and album
        { "cdimage", sheet, "", "", true },
        { "jazz", song, "Jazz Trio", "", true }, // tags the player has learned
        { "morning", song, "", "Morning Songs", true },
        { "jazz", song, "", "", false },
        // A word never spans two fields: the name ends "Chorus", the path starts "/home".
        { "chorus/home", song, "", "", false },
        { "", song, "", "", true },
        { "   ", song, "", "", true },
    };
    for (const auto& c : cases) {
        const FindQuery query(QString::fromUtf8(c.typed));
        EXPECT_EQ(query.matches(c.track, QString::fromUtf8(c.artist), QString::fromUtf8(c.album)), c.matches)
            << "\"" << c.typed << "\" in " << c.track.url.path();
    }
    EXPECT_TRUE(FindQuery(QStringLiteral(" \t ")).isEmpty());
}

TEST(FindQuery, TypeAheadFindsTheNameThatBeginsWithWhatWasTyped)
{
    const struct {
        const char* name;
        const char* typed;
        bool startsWith;
    } cases[] = {
        { "Dawn Chorus", "d", true },
        { "Dawn Chorus", "DAWN C", true },
        { "Dawn Chorus", "chorus", false },
        { "Été", "ete", true },
        { "Ångström", "ang", true },
        { "Straße", "STRASSE", false }, // simple case folding keeps ß
        { "anything", "", true },
    };
    for (const auto& c : cases)
        EXPECT_EQ(FindQuery::startsWith(QString::fromUtf8(c.name), QString::fromUtf8(c.typed)), c.startsWith) << c.name << " / " << c.typed;
}

} // namespace
} // namespace lh
