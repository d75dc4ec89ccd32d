#pragma once

#include "ActivationMessage.h"

#include <chrono>
#include <cstddef>
#include <string>

namespace lh {

// One player per user. The first launch takes an exclusive lock on ".lock" in the cache folder
// and, at once, listens on its activation socket; every later launch hands its files and
// activation token to that one over the socket and exits.
//
// Everything here runs on the main thread before the application object exists, with plain
// system calls: a second launch never builds anything of Qt's.
class SingleInstance {
public:
    struct Paths {
        std::string lockFile;
        std::string socket;
    };
    // ".lock" in the cache folder (created, mode 0700), and the socket beside it: the lock and
    // the socket name one player in every environment that names the same cache folder.
    static Paths defaultPaths();

    enum class Role {
        primary,   // this process runs the player; `listeningSocket` may be ready
        forwarded, // the running player has the message; this process should exit 0
    };
    struct Claim {
        Role role = Role::primary;
        int listeningSocket = -1; // for the primary: a bound, listening socket, or -1
        // For a launch that forwarded: files sent whole without a receipt in time (the running
        // player may still open them), and files it certainly did not get.
        std::size_t filesNotConfirmed = 0;
        std::size_t filesNotHandedOver = 0;
        // The running player certainly did not get all of the launch (without files too: it
        // was not even shown).
        bool isUnanswered = false;
    };

    // Takes the lock, or forwards the files and token of `message` to the running player, in
    // as many messages as the limits ask, numbered from `message.part` (firstAddingPart for a
    // launch that only adds), each after the receipt of the one before. While the
    // running player is still starting (locked but not listening yet), tries again until
    // `patience` has passed. What is sent whole is never sent again: the running player may be
    // too busy to answer and read it later. A lock file that cannot be opened means no
    // single-instance check: this process becomes the player.
    static Claim claimOrForward(const Paths& paths, const ActivationMessage& message, std::chrono::milliseconds patience);
};

} // namespace lh
