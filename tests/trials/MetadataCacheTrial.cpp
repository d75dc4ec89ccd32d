// The metadata cache's promise that a crash at any moment leaves a database SQLite opens whole:
//
//   metadata_cache_trial crash FOLDER [ROUNDS]   kill a writer at random moments (SIGKILL)
//   metadata_cache_trial write FOLDER FIRST      the writer: records files FIRST, FIRST+1, … for ever
//
// After each kill the next run must open the database without a word (nothing moved aside or
// left alone), SQLite's integrity check must pass, every entry found must be exactly what was
// recorded for its file, and no entry committed before must be lost.
#include "MetadataCache.h"
#include "SqliteDatabase.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <random>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

std::string pathOf(int file)
{
    return "/mnt/nas/music/Album " + std::to_string(file / 12) + "/" + std::to_string(file) + " - Track.flac";
}

lh::FileFacts factsOf(int file)
{
    lh::FileFacts facts;
    facts.stamp = { 1000 + file, std::int64_t(file) * 7 };
    facts.stream = lh::StreamInfo { 100.0 + file, 320'000, 44'100.0, 2, {} };
    lh::MediaTags tags;
    tags.title = QStringLiteral("Track %1").arg(file);
    facts.tags = tags;
    return facts;
}

[[noreturn]] void fail(const std::string& why)
{
    std::fprintf(stderr, "metadata_cache_trial: FAILED: %s\n", why.c_str());
    std::exit(1);
}

[[noreturn]] void write(const std::string& folder, int first)
{
    lh::MetadataCache cache(folder);
    for (int file = first;; ++file) {
        cache.record(pathOf(file), factsOf(file));
        if (file % 64 == 0)
            std::this_thread::sleep_for(std::chrono::microseconds(200)); // lets the writer commit
    }
}

// How many files from 0 on the database holds, each checked; fails on anything else.
int checkedCount(const std::string& folder)
{
    {
        lh::SqliteDatabase db;
        if (db.open(folder + "/" + lh::MetadataCache::fileName, SQLITE_OPEN_READONLY) == SQLITE_OK) {
            auto check = db.prepare("PRAGMA integrity_check");
            if (!check.isValid() || check.step() != SQLITE_ROW || check.text(0) != QStringLiteral("ok"))
                fail("the integrity check fails: " + db.lastError().toStdString());
        }
    }
    lh::MetadataCacheOptions options;
    std::string said;
    options.report = [&said](const QString& message) { said = message.toStdString(); };
    lh::MetadataCache cache(folder, options);
    std::promise<void> opened;
    cache.afterOpening([&opened] { opened.set_value(); });
    opened.get_future().wait();
    if (!said.empty() || cache.state() != lh::MetadataCache::State::ready)
        fail("the database did not open as it was: " + said);
    int count = 0;
    while (const auto found = cache.find(pathOf(count), std::nullopt)) {
        if (*found != factsOf(count))
            fail("the entry of file " + std::to_string(count) + " is not what was recorded");
        ++count;
    }
    return count;
}

int crash(const std::string& folder, int rounds, const char* self)
{
    std::mt19937 random(std::random_device {}());
    std::uniform_int_distribution<int> delay(2, 120);
    int count = checkedCount(folder);
    for (int round = 0; round < rounds; ++round) {
        const pid_t child = ::fork();
        if (child == 0) {
            const std::string first = std::to_string(count);
            ::execl(self, self, "write", folder.c_str(), first.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(delay(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        const int now = checkedCount(folder);
        if (now < count)
            fail("entries committed before were lost");
        count = now;
    }
    std::printf("crash: %d kills, the database whole after each, %d entries kept in the end\n", rounds, count);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string command = argc > 2 ? argv[1] : "";
    if (command == "write")
        write(argv[2], argc > 3 ? std::atoi(argv[3]) : 0);
    if (command == "crash")
        return crash(argv[2], argc > 3 ? std::atoi(argv[3]) : 100, argv[0]);
    std::fprintf(stderr, "usage: %s crash|write FOLDER [ROUNDS|FIRST]\n", argv[0]);
    return 2;
}
