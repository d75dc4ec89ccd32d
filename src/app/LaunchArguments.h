#pragma once

#include "FileURL.h"

#include <string>
#include <vector>

namespace lh {

// What a launch asks for: to run the player (or hand over to the running one), or only to be
// told something. Options are read before anything else happens, so `--help` neither starts
// nor reaches a player.
struct LaunchOptions {
    enum class Action { run, help, version, usageError };
    Action action = Action::run;
    std::string unknownOption; // for usageError
    bool isEnqueue = false; // the files are added without playing or changing the current row
};

// Our options (-h, --help, --version, -e, --enqueue) and Qt's own; any other word starting
// with "-" before "--" is a usage error.
LaunchOptions optionsFromArguments(int argc, char** argv);

// The text `--help` prints: the options, what files the player takes and the exit statuses.
std::string usageText();

// The files the program was started with: paths (relative ones against `workingFolder`) or
// "file://" URIs, as a desktop entry's %U passes them, each kept byte for byte. Anything that
// is not a local file is left out with one line on standard error. Options (and the values of
// Qt's that take one) are not files; after "--" every argument is.
std::vector<FileURL> filesFromArguments(int argc, char** argv, const std::string& workingFolder);

// The desktop's activation token of this launch (XDG_ACTIVATION_TOKEN, else
// DESKTOP_STARTUP_ID), or "".
std::string activationTokenFromEnvironment();

} // namespace lh
