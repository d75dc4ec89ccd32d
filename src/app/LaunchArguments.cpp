#include "LaunchArguments.h"

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

bool takesValue(std::string_view option)
{
    for (std::string_view known : qtOptionsWithValue) {
        if (option == known || (option.size() == known.size() + 1 && option.front() == '-' && option.substr(1) == known))
            return true;
    }
    return option == "-style" || option == "--style" || option == "-session";
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

std::vector<FileURL> filesFromArguments(int argc, char** argv, const std::string& workingFolder)
{
    std::vector<FileURL> files;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument.starts_with("-")) {
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
