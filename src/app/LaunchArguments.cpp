#include "LaunchArguments.h"

#include "SupportedAudio.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>

namespace lh {

namespace {

// Qt's options that take a value (QGuiApplication's list).
constexpr std::array<std::string_view, 8> qtOptionsWithValue = { "-platform", "-platformpluginpath",
    "-platformtheme", "-plugin", "-qwindowgeometry", "-qwindowtitle", "-qwindowicon", "-display" };

// Qt's options that stand alone, or carry their value after "=".
constexpr std::array<std::string_view, 8> qtOptionsAlone = { "-reverse", "-nograb", "-dograb", "-sync", "-widgetcount",
    "-testability", "-qmljsdebugger", "-stylesheet" };

// Qt takes its options with one dash or two.
std::string_view singleDashed(std::string_view option)
{
    return option.starts_with("--") ? option.substr(1) : option;
}

bool takesValue(std::string_view option)
{
    option = singleDashed(option);
    for (std::string_view known : qtOptionsWithValue) {
        if (option == known)
            return true;
    }
    return option == "-style" || option == "-session";
}

bool isQtOption(std::string_view option)
{
    option = singleDashed(option.substr(0, option.find('=')));
    return takesValue(option) || option == "-style" || std::ranges::find(qtOptionsAlone, option) != qtOptionsAlone.end();
}

std::optional<FileURL> fileFromArgument(std::string_view argument, const std::string& workingFolder)
{
    if (argument.find("://") != std::string_view::npos || argument.starts_with("file:"))
        return FileURL::fromUserInput(argument);
    if (argument.empty())
        return std::nullopt;
    if (argument.front() == '/')
        return FileURL(std::string(argument)).normalizedFileURL();
    return FileURL(workingFolder + "/" + std::string(argument)).normalizedFileURL();
}

} // namespace

LaunchOptions optionsFromArguments(int argc, char** argv)
{
    LaunchOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--")
            break;
        if (argument == "-h" || argument == "--help")
            return { LaunchOptions::Action::help, {} };
        if (argument == "--version")
            options.action = LaunchOptions::Action::version;
        else if (argument == "-e" || argument == "--enqueue")
            options.isEnqueue = true;
        else if (isQtOption(argument))
            i += takesValue(argument) ? 1 : 0;
        else if (argument.starts_with("-"))
            options = { LaunchOptions::Action::usageError, std::string(argument), options.isEnqueue };
    }
    return options;
}

std::string usageText()
{
    std::string extensions;
    for (const std::string_view extension : SupportedAudio::fileExtensions) {
        extensions += extensions.empty() ? "  " : ", ";
        extensions += extension;
    }
    return "Usage: larkhaven [OPTION]... [FILE]...\n"
           "Plays audio files and cue sheets in one playlist.\n"
           "\n"
           "Each FILE is a path or a file:// URI of an audio file, a cue sheet (.cue), a playlist\n"
           "(.m3u, .m3u8, .pls, .xspf) or a folder, which is searched for audio files and cue\n"
           "sheets. Audio files:\n"
           + extensions + "\n"
           "They are added to the playlist of the running player, or of a new one, and the first\n"
           "of them plays. One player runs at a time: a later launch hands its files over and\n"
           "brings the window to the front.\n"
           "\n"
           "Options:\n"
           "  -e, --enqueue  add the files without playing them or changing the current track\n"
           "  -h, --help     print this help and exit\n"
           "      --version  print the version and exit\n"
           "      --         every argument after this is a file\n"
           "Qt's own options (-platform NAME, -style NAME, -reverse, ...) are passed on to Qt.\n"
           "\n"
           "Exit status:\n"
           "  0  the player ran and was quit, or the running player took the launch\n"
           "  1  the running player could not be reached (files not handed over), or there is\n"
           "     no graphical desktop\n"
           "  2  an unknown option\n";
}

std::vector<FileURL> filesFromArguments(int argc, char** argv, const std::string& workingFolder)
{
    std::vector<FileURL> files;
    bool isAfterOptions = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (!isAfterOptions && argument == "--") {
            isAfterOptions = true;
            continue;
        }
        if (!isAfterOptions && argument.starts_with("-")) {
            i += takesValue(argument) ? 1 : 0;
            continue;
        }
        if (std::optional<FileURL> file = fileFromArgument(argument, workingFolder))
            files.push_back(std::move(*file));
        else
            std::fprintf(stderr, "larkhaven: not a local file, ignored: %s\n", argv[i]);
    }
    return files;
}

std::string activationTokenFromEnvironment()
{
    for (const char* name : { "XDG_ACTIVATION_TOKEN", "DESKTOP_STARTUP_ID" }) {
        if (const char* value = std::getenv(name); value && *value)
            return value;
    }
    return {};
}

} // namespace lh
