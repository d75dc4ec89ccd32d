// Trials of the settings file's promises, too slow for the test suite's default run:
//
//   preferences_trial crash FOLDER [ROUNDS]      kill a saver at random moments (SIGKILL)
//   preferences_trial disk-full FOLDER           fill the folder's file system while saving
//   preferences_trial save FOLDER [FIRST]        the saver: saves a growing playlist for ever
//
// After each kill the file must parse and hold exactly one of the states saved, and the next
// start must leave no temporary file behind. When the disk fills up the previous file must
// stay whole, the store must keep the new values in memory, and the write must succeed once
// there is room again. scripts/trials runs both, the second on a small tmpfs of its own.
#include "Preferences.h"

#include "FileSystem.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int tracksPerGeneration = 25;
const QString playlistKey = QStringLiteral("savedPlaylist");

QJsonArray playlist(int generation)
{
    QJsonArray tracks;
    for (int i = 0; i < generation * tracksPerGeneration; ++i) {
        tracks.append(QJsonObject {
            { "path", QStringLiteral("/mnt/nas/music/Album %1/%2 – Track.flac").arg(i / 12).arg(i) },
            { "remote", true },
        });
    }
    return tracks;
}

QString filePath(const std::string& folder)
{
    return QString::fromStdString(folder) + QStringLiteral("/preferences.json");
}

[[noreturn]] void fail(const std::string& why)
{
    std::fprintf(stderr, "preferences_trial: FAILED: %s\n", why.c_str());
    std::exit(1);
}

// The generation the file holds, after checking it is exactly what that generation saved;
// 0 when there is no file yet.
int checkedGeneration(const std::string& path)
{
    const auto contents = lh::FileSystem::readFile(path);
    if (!contents)
        return 0;
    QJsonParseError error {};
    const QJsonDocument document = QJsonDocument::fromJson(*contents, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        fail(path + " does not parse (" + std::to_string(contents->size()) + " bytes)");
    const QJsonObject stored = document.object();
    const QJsonArray tracks = stored.value(playlistKey).toArray();
    const int generation = static_cast<int>(tracks.size() / tracksPerGeneration);
    if (generation < 1 || tracks != playlist(generation) || stored.size() != 1)
        fail(path + " holds no saved state");
    return generation;
}

std::vector<std::string> leftovers(const std::string& folder)
{
    std::vector<std::string> names;
    for (const std::string& name : lh::FileSystem::listFolder(folder)) {
        if (name.find(".tmp-") != std::string::npos || name.find(".corrupt-") != std::string::npos)
            names.push_back(name);
    }
    return names;
}

void save(const std::string& folder, int first)
{
    lh::Preferences preferences(filePath(folder));
    for (int generation = first;; ++generation) {
        preferences.set(playlist(generation), playlistKey);
        preferences.flush();
    }
}

// One start as the player makes it: the store opens the file and clears what a crash left.
int restart(const std::string& folder)
{
    const std::string path = folder + "/preferences.json";
    const int onDisk = checkedGeneration(path);
    if (::access((path + ".bak").c_str(), F_OK) == 0)
        checkedGeneration(path + ".bak");
    lh::Preferences preferences(filePath(folder));
    const int loaded = static_cast<int>(preferences.array(playlistKey).value_or(QJsonArray()).size() / tracksPerGeneration);
    if (loaded != onDisk)
        fail("the store loaded generation " + std::to_string(loaded) + ", the file holds " + std::to_string(onDisk));
    if (const auto left = leftovers(folder); !left.empty())
        fail("left after a start: " + left.front());
    return onDisk;
}

int crash(const std::string& folder, int rounds, const char* self)
{
    std::mt19937 random(std::random_device {}());
    std::uniform_int_distribution<int> delay(0, 400);
    int generation = restart(folder);
    int killedWhileWriting = 0;
    for (int round = 1; round <= rounds; ++round) {
        const pid_t child = ::fork();
        if (child == 0) {
            const std::string first = std::to_string(generation + 1);
            ::execl(self, self, "save", folder.c_str(), first.c_str(), static_cast<char*>(nullptr));
            std::_Exit(127);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(delay(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        if (!WIFSIGNALED(status))
            fail("the saver ended on its own");
        killedWhileWriting += leftovers(folder).empty() ? 0 : 1;
        generation = restart(folder);
    }
    std::printf("crash: %d kills, every file whole and one of the saved states; %d kills left a temporary "
                "file, none survived the next start; last generation %d (%d tracks)\n",
        rounds, killedWhileWriting, generation, generation * tracksPerGeneration);
    return 0;
}

// The folder's file system is small; a filler file holds back room that is given back later.
int diskFull(const std::string& folder)
{
    const std::string filler = folder + "/filler";
    {
        std::FILE* file = std::fopen(filler.c_str(), "wb");
        const std::string block(64 * 1024, 'x');
        while (file && std::fwrite(block.data(), 1, block.size(), file) == block.size() && std::fflush(file) == 0) { }
        if (file)
            std::fclose(file);
    }
    // Back off to about 2 MB of room: enough for some saves, not for all of them.
    if (::truncate(filler.c_str(), std::max<off_t>(0, [&] {
            struct stat info {};
            ::stat(filler.c_str(), &info);
            return info.st_size - 2 * 1024 * 1024;
        }())) != 0)
        fail("cannot shrink the filler");

    lh::Preferences preferences(filePath(folder));
    int saved = 0;
    int generation = 1;
    for (;; ++generation) {
        preferences.set(playlist(generation), playlistKey);
        preferences.flush();
        if (preferences.lastWriteError())
            break;
        saved = generation;
        if (generation > 10'000)
            fail("the disk never filled up");
    }
    const std::string path = folder + "/preferences.json";
    if (checkedGeneration(path) != saved)
        fail("the previous file did not stay as it was");
    if (preferences.array(playlistKey) != playlist(generation))
        fail("the store lost the new values");
    std::printf("disk full: generation %d failed (%s); the file kept generation %d whole, memory generation %d\n",
        generation, qPrintable(*preferences.lastWriteError()), saved, generation);

    ::unlink(filler.c_str()); // room again
    preferences.flush();
    if (preferences.lastWriteError())
        fail("the write failed again with room: " + preferences.lastWriteError()->toStdString());
    if (checkedGeneration(path) != generation)
        fail("the retried write did not save the new values");
    if (const auto left = leftovers(folder); !left.empty())
        fail("left after the retry: " + left.front());
    std::printf("disk full: once there was room the retry saved generation %d\n", generation);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (argc < 3 || (command != "crash" && command != "disk-full" && command != "save")) {
        std::fprintf(stderr, "usage: %s crash|disk-full|save FOLDER [ROUNDS|FIRST]\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[2];
    if (command == "save")
        save(folder, argc > 3 ? std::atoi(argv[3]) : 1);
    if (command == "crash")
        return crash(folder, argc > 3 ? std::atoi(argv[3]) : 100, argv[0]);
    return diskFull(folder);
}
