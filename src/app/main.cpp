#include "Accessibility.h"
#include "ActivationServer.h"
#include "AppDelegate.h"
#include "Heap.h"
#include "LaunchArguments.h"
#include "SingleInstance.h"
#include "Version.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

extern "C" {
#include <libavutil/log.h>
}

namespace {

using namespace std::chrono_literals;

// How long a later launch keeps trying while the running player is still starting.
constexpr auto forwardPatience = 10s;

std::string workingFolder()
{
    char buffer[4096];
    return ::getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string("/");
}

bool hasPlatformArgument(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return true;
    }
    return false;
}

bool hasDisplay(int argc, char** argv)
{
    for (const char* name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" }) {
        if (const char* value = std::getenv(name); value && *value)
            return true;
    }
    return hasPlatformArgument(argc, argv);
}

} // namespace

int main(int argc, char** argv)
{
    const lh::LaunchOptions options = lh::optionsFromArguments(argc, argv);
    switch (options.action) {
    case lh::LaunchOptions::Action::help:
        std::fputs(lh::usageText().c_str(), stdout);
        return 0;
    case lh::LaunchOptions::Action::version:
        std::printf("larkhaven %s%s%s\n", lh::Version::text, *lh::Version::build ? " " : "", lh::Version::build);
        return 0;
    case lh::LaunchOptions::Action::usageError:
        std::fprintf(stderr, "larkhaven: unknown option %s\n\n%s", options.unknownOption.c_str(), lh::usageText().c_str());
        return 2;
    case lh::LaunchOptions::Action::run:
        break;
    }
    lh::Heap::settleFreesWhereTheyHappen();
    av_log_set_level(AV_LOG_QUIET);

    lh::ActivationMessage message { lh::filesFromArguments(argc, argv, workingFolder()),
        lh::activationTokenFromEnvironment() };
    if (options.isEnqueue)
        message.part = lh::ActivationMessage::firstAddingPart;
    const lh::SingleInstance::Claim claim
        = lh::SingleInstance::claimOrForward(lh::SingleInstance::defaultPaths(), message, forwardPatience);
    // A launch the running player certainly did not get is a failure the caller should see.
    if (claim.role == lh::SingleInstance::Role::forwarded)
        return claim.isUnanswered ? 1 : 0;

    if (!hasDisplay(argc, argv)) {
        std::fprintf(stderr, "larkhaven: needs a graphical desktop: neither DISPLAY nor WAYLAND_DISPLAY is set\n");
        return 1;
    }

    // The sound server shows these beside the player's stream (SDL names the application and
    // the stream; its PulseAudio driver leaves out the role). Set before any thread starts,
    // since setenv is not safe beside other threads.
    const char* ownProperties = "application.icon_name=larkhaven application.id=larkhaven media.role=music";
    const char* userProperties = std::getenv("PULSE_PROP");
    ::setenv("PULSE_PROP", userProperties ? (std::string(ownProperties) + " " + userProperties).c_str() : ownProperties, 1);

    QApplication app(argc, argv);
    // Before any window exists, so no view is ever described by Qt's generic interface.
    lh::installAccessibleInterfaces();
    QApplication::setApplicationName(QStringLiteral("Larkhaven"));
    QApplication::setDesktopFileName(QStringLiteral("larkhaven"));

    // Later launches are heard from once the event loop runs, so the player they reach is whole.
    lh::AppDelegate delegate(message.files, options.isEnqueue);
    lh::ActivationServer server(claim.listeningSocket, [&delegate](lh::ActivationMessage received) {
        delegate.receive(received);
    });
    return app.exec();
}
