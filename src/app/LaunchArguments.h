#pragma once

#include "FileURL.h"

#include <string>
#include <vector>

namespace lh {

// The files the program was started with: paths (relative ones against `workingFolder`) or
// "file://" URIs, as a desktop entry's %U passes them, each kept byte for byte. Anything that
// is not a local file is left out with one line on standard error. Qt's own options (and the
// values of those that take one) are not files.
std::vector<FileURL> filesFromArguments(int argc, char** argv, const std::string& workingFolder);

// The desktop's activation token of this launch (XDG_ACTIVATION_TOKEN, else
// DESKTOP_STARTUP_ID), or "".
std::string activationTokenFromEnvironment();

} // namespace lh
