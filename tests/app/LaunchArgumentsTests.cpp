#include "LaunchArguments.h"

#include <gtest/gtest.h>

namespace lh {
namespace {

// Calls `read` with argc and argv as main() gets them for `arguments`.
template <typename Read>
auto withArguments(std::vector<std::string> arguments, Read read)
{
    arguments.insert(arguments.begin(), "larkhaven");
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    return read(int(argv.size()), argv.data());
}

std::vector<FileURL> filesOf(std::vector<std::string> arguments)
{
    return withArguments(std::move(arguments), [](int argc, char** argv) { return filesFromArguments(argc, argv, "/home/me/Music"); });
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

TEST(LaunchArguments, TheEnqueueOptionIsNoFile)
{
    const std::vector<FileURL> files = filesOf({ "-e", "a.m3u8", "--enqueue", "b.pls" });
    EXPECT_EQ(files, (std::vector { FileURL("/home/me/Music/a.m3u8"), FileURL("/home/me/Music/b.pls") }));
}

TEST(LaunchArguments, AfterTwoDashesEveryArgumentIsAFile)
{
    const std::vector<FileURL> files = filesOf({ "--", "-odd name.flac", "--version" });
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].path(), "/home/me/Music/-odd name.flac");
    EXPECT_EQ(files[1].path(), "/home/me/Music/--version");
}

TEST(LaunchArguments, OptionsAskForHelpTheVersionOrAreAUsageError)
{
    using Action = LaunchOptions::Action;
    const struct {
        std::vector<std::string> arguments;
        Action action;
        std::string unknownOption;
        bool isEnqueue = false;
    } cases[] = {
        { { "-e", "/a.flac" }, Action::run, "", true },
        { { "/a.flac", "--enqueue" }, Action::run, "", true },
        { { "--", "-e" }, Action::run, "", false },
        { { "--enqueued" }, Action::usageError, "--enqueued" },
        { { "/a.flac" }, Action::run, "" },
        { { "--help" }, Action::help, "" },
        { { "-h", "/a.flac" }, Action::help, "" },
        { { "--version" }, Action::version, "" },
        { { "--version", "--help" }, Action::help, "" }, // help wins wherever it stands
        { { "--bogus", "--help" }, Action::help, "" },
        { { "--bogus" }, Action::usageError, "--bogus" },
        { { "-x", "/a.flac" }, Action::usageError, "-x" },
        { { "-" }, Action::usageError, "-" },
        // Qt's options, with one dash or two, their values and "=" forms, are Qt's.
        { { "-platform", "offscreen", "--style", "Fusion", "-reverse", "-style=Fusion", "-qwindowgeometry", "9x9", "--help" }, Action::help, "" },
        { { "--platform", "offscreen", "-session", "--bogus" }, Action::run, "" }, // the session's name
        { { "--platform", "offscreen", "-session", "id", "--bogus" }, Action::usageError, "--bogus" },
        { { "--", "--bogus", "--help" }, Action::run, "" },
    };
    for (const auto& c : cases) {
        std::string joined;
        for (const std::string& argument : c.arguments)
            joined += argument + " ";
        SCOPED_TRACE(joined);
        const LaunchOptions options = withArguments(c.arguments, optionsFromArguments);
        EXPECT_EQ(options.action, c.action);
        EXPECT_EQ(options.isEnqueue, c.isEnqueue);
        if (c.action == Action::usageError && !c.unknownOption.empty()) {
            EXPECT_EQ(options.unknownOption, c.unknownOption);
        }
    }
}

} // namespace
} // namespace lh
