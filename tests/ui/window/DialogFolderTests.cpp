#include "DialogFolder.h"

#include <gtest/gtest.h>

namespace lh {
namespace {

TEST(DialogFolder, StartsWhereTheUserLastChoseOnlyWhileThatIsLocal)
{
    const QString fallback = QStringLiteral("/home/user/Music");
    DialogFolder folder(
        [](const QString& path) { return path.startsWith("/mnt/share"); }, fallback);
    EXPECT_EQ(folder.startFolder(), fallback) << "nothing chosen yet";

    struct Case {
        const char* chosen;
        const char* start;
    };
    const Case cases[] = {
        { "/data/albums/One/01.flac", "/data/albums/One" }, // a file: its folder
        { "/data/albums/Two", "/data/albums" }, // a folder: where it was chosen from
        { "/mnt/share/music/01.flac", "/home/user/Music" }, // a share may have gone since
        { "", "/home/user/Music" }, // a cancelled dialog changes nothing
    };
    for (const Case& c : cases) {
        folder.remember(QString::fromUtf8(c.chosen));
        EXPECT_EQ(folder.startFolder(), QString::fromUtf8(c.start)) << c.chosen;
    }
}

} // namespace
} // namespace lh
