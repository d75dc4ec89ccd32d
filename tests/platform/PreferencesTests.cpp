#include "Preferences.h"

#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace lh {
namespace {

class PreferencesTest : public ::testing::Test {
protected:
    QString filePath() const { return dir.path() + "/Larkhaven/preferences.json"; }
    std::unique_ptr<Preferences> open() const { return std::make_unique<Preferences>(filePath()); }
    QByteArray fileContents(const QString& path) const
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    void writeFile(const QString& path, const QByteArray& contents) const
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(contents);
    }
    QStringList filesBeside() const { return QDir(QFileInfo(filePath()).absolutePath()).entryList(QDir::Files | QDir::Hidden); }

    QTemporaryDir dir;
};

TEST_F(PreferencesTest, AnEmptyStoreReadsShuffleAsFalseAndRepeatAsNothing)
{
    auto preferences = open();
    EXPECT_FALSE(preferences->boolean("shuffle"));
    EXPECT_FALSE(preferences->object("repeat").has_value());
    EXPECT_FALSE(preferences->array("savedPlaylist").has_value());
}

TEST_F(PreferencesTest, ValuesKeepTheirTypesInTheSameRunAndAfterARelaunch)
{
    QJsonArray playlist { QJsonObject { { "path", "/music/a.flac" }, { "start", 0.0 }, { "remote", false } }, "/music/b.mp3" };
    {
        auto preferences = open();
        preferences->set(static_cast<double>(0.3f), "volume");
        preferences->set(false, "repeat");
        preferences->set(1.0, "one");
        preferences->set(playlist, "savedPlaylist");
        for (auto* store : { preferences.get() }) {
            EXPECT_TRUE(store->object("volume")->isDouble());
            EXPECT_EQ(store->object("volume")->toDouble(), static_cast<double>(0.3f));
            EXPECT_TRUE(store->object("repeat")->isBool());
            EXPECT_TRUE(store->object("one")->isDouble());
        }
    }
    auto relaunched = open();
    ASSERT_TRUE(relaunched->object("volume").has_value());
    EXPECT_TRUE(relaunched->object("volume")->isDouble());
    EXPECT_EQ(static_cast<float>(relaunched->object("volume")->toDouble()), 0.3f);
    EXPECT_TRUE(relaunched->object("repeat")->isBool());
    EXPECT_FALSE(relaunched->object("repeat")->toBool());
    EXPECT_TRUE(relaunched->object("one")->isDouble()) << "a number is never read back as a Boolean";
    EXPECT_EQ(relaunched->array("savedPlaylist"), playlist);
    EXPECT_FALSE(relaunched->array("volume").has_value());
}

TEST_F(PreferencesTest, BooleanReadsBooleansAndNonZeroNumbers)
{
    auto preferences = open();
    preferences->set(true, "a");
    preferences->set(2.0, "b");
    preferences->set(0.0, "c");
    preferences->set("yes", "d");
    EXPECT_TRUE(preferences->boolean("a"));
    EXPECT_TRUE(preferences->boolean("b"));
    EXPECT_FALSE(preferences->boolean("c"));
    EXPECT_FALSE(preferences->boolean("d"));
}

TEST_F(PreferencesTest, ABurstOfWritesEndsWithTheLastValuesOnDisk)
{
    {
        auto preferences = open();
        for (int i = 0; i <= 1000; ++i)
            preferences->set(static_cast<double>(i), "counter");
        preferences->flush();
        EXPECT_FALSE(preferences->lastWriteError().has_value());
    }
    EXPECT_EQ(open()->object("counter")->toDouble(), 1000.0);
}

TEST_F(PreferencesTest, APreviousGoodFileIsKeptAsABackupAndNoTemporaryFileRemains)
{
    auto preferences = open();
    preferences->set(1.0, "n");
    preferences->flush();
    const QByteArray first = fileContents(filePath());
    preferences->set(2.0, "n");
    preferences->flush();
    EXPECT_EQ(fileContents(filePath() + ".bak"), first);
    EXPECT_EQ(filesBeside(), QStringList({ "preferences.json", "preferences.json.bak" }));
}

TEST_F(PreferencesTest, ACorruptFileIsMovedAsideUntouchedAndTheStoreStartsEmpty)
{
    const QByteArray garbage("{\"volume\": 0.5, \"savedPlaylist\": [tr");
    writeFile(filePath(), garbage);
    auto preferences = open();
    EXPECT_FALSE(preferences->object("volume").has_value());

    const QStringList aside = QDir(QFileInfo(filePath()).absolutePath()).entryList({ "preferences.json.corrupt-*" }, QDir::Files);
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(fileContents(QFileInfo(filePath()).absolutePath() + "/" + aside.first()), garbage);

    preferences->set(0.25, "volume"); // and the store works on
    preferences->flush();
    EXPECT_EQ(open()->object("volume")->toDouble(), 0.25);
}

TEST_F(PreferencesTest, JsonThatIsNotAnObjectCountsAsCorrupt)
{
    writeFile(filePath(), "[1, 2, 3]");
    auto preferences = open();
    EXPECT_FALSE(preferences->object("0").has_value());
    EXPECT_EQ(QDir(QFileInfo(filePath()).absolutePath()).entryList({ "*.corrupt-*" }, QDir::Files).size(), 1);
}

TEST_F(PreferencesTest, LeftoversOfAnInterruptedWriteAreClearedAtStart)
{
    writeFile(filePath() + ".tmp-AbC123", "{\"half");
    auto preferences = open();
    EXPECT_TRUE(filesBeside().isEmpty());
}

TEST_F(PreferencesTest, AFailedWriteIsReportedAndTheValuesStayReadable)
{
    writeFile(dir.path() + "/blocked", "a file where the folder should be");
    Preferences preferences(dir.path() + "/blocked/preferences.json");
    preferences.set(true, "shuffle");
    preferences.flush();
    EXPECT_TRUE(preferences.lastWriteError().has_value());
    EXPECT_TRUE(preferences.boolean("shuffle"));
}

TEST_F(PreferencesTest, ACorruptFileIsReplacedByTheBackupWhichSurvivesTheNextWrite)
{
    const QByteArray good("{\"volume\":0.5}");
    writeFile(filePath(), "{\"volume\": 0.7, \"savedPl");
    writeFile(filePath() + ".bak", good);
    ::testing::internal::CaptureStderr();
    auto preferences = open();
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("restored the settings from"), std::string::npos);
    EXPECT_EQ(preferences->object("volume")->toDouble(), 0.5);
    preferences.reset();
    EXPECT_EQ(open()->object("volume")->toDouble(), 0.5); // also with no change in between

    preferences = open();
    preferences->set(true, "shuffle");
    preferences->flush();
    EXPECT_EQ(fileContents(filePath() + ".bak"), good);
    EXPECT_TRUE(open()->boolean("shuffle"));
    EXPECT_EQ(filesBeside().filter(".tmp-").size(), 0);
}

TEST_F(PreferencesTest, ABackupIsNotDeletedWhenThereIsNoFileToReplaceIt)
{
    writeFile(filePath(), "not json");
    writeFile(filePath() + ".bak", "also not json");
    auto preferences = open();
    preferences->set(1.0, "volume");
    preferences->flush();
    EXPECT_EQ(fileContents(filePath() + ".bak"), "also not json");
}

TEST_F(PreferencesTest, AFailedWriteIsTriedAgainAtTheNextFlush)
{
    const QString folder = dir.path() + "/later";
    writeFile(folder, "a file where the folder should be");
    Preferences preferences(folder + "/preferences.json");
    ::testing::internal::CaptureStderr();
    preferences.set(0.25, "volume");
    preferences.flush();
    ::testing::internal::GetCapturedStderr();
    ASSERT_TRUE(preferences.lastWriteError().has_value());

    ASSERT_TRUE(QFile::remove(folder)); // room again
    preferences.flush();
    EXPECT_FALSE(preferences.lastWriteError().has_value());
    EXPECT_EQ(Preferences(folder + "/preferences.json").object("volume")->toDouble(), 0.25);
}

// A large value stays the file's own text: it reads as before, and the write of another setting
// carries it over as it was, parts no reader here knows included.
TEST_F(PreferencesTest, ALargeValueReadFromTheFileIsWrittenBackAsItWas)
{
    QByteArray playlist = "[";
    for (int i = 0; i < 5000; ++i)
        playlist += "{\"path\": \"/m/" + QByteArray::number(i) + ".flac\", \"future\": [1, {}]},";
    playlist += "\"/m/last.flac\"]";
    writeFile(filePath(), "{\"savedPlaylist\": " + playlist + ", \"volume\": 0.5}");
    auto preferences = open();
    EXPECT_EQ(preferences->text("savedPlaylist")->view(), playlist.toStdString());
    EXPECT_EQ(preferences->array("savedPlaylist")->size(), 5001);
    preferences->set(0.25, "volume");
    preferences->flush();
    EXPECT_NE(fileContents(filePath()).indexOf(playlist), -1);
    EXPECT_EQ(open()->object("volume")->toDouble(), 0.25);
}

TEST_F(PreferencesTest, HoldsAHundredThousandTrackPlaylist)
{
    QJsonArray playlist;
    for (int i = 0; i < 100'000; ++i)
        playlist.append(QJsonObject { { "path", QStringLiteral("/mnt/nas/music/%1.flac").arg(i) }, { "remote", true } });
    open()->set(playlist, "savedPlaylist");
    const auto restored = open()->array("savedPlaylist");
    ASSERT_TRUE(restored.has_value());
    EXPECT_EQ(restored->size(), 100'000);
    EXPECT_EQ(restored->at(99'999).toObject().value("path").toString(), "/mnt/nas/music/99999.flac");
}

} // namespace
} // namespace lh
