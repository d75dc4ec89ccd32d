#pragma once

#include "ActivationMessage.h"

#include <QObject>

#include <cstdint>
#include <deque>
#include <functional>
#include <utility>

class QLocalServer;
class QLocalSocket;

namespace lh {

// The running player's end of the activation socket. Accepts connections from processes of the
// same user only, reads one message from each (bounded in size and time), confirms it with a
// one-byte receipt and hands it to `onMessage`. A part of a hand-over that was handed on
// already is confirmed again but not handed on twice: a launch that could not tell whether its
// first copy arrived may send it again. Main thread only.
class ActivationServer : public QObject {
public:
    // Takes over `listeningSocket` (from SingleInstance::claimOrForward).
    ActivationServer(int listeningSocket, std::function<void(ActivationMessage)> onMessage);
    ~ActivationServer() override;

    bool isListening() const;

    static constexpr int maximumPeers = 64;
    static constexpr int peerTimeoutMilliseconds = 10'000;
    // Far more than the launches that can be waiting at once (the listening backlog is 128).
    static constexpr std::size_t rememberedParts = 1024;

private:
    void accept();
    void read(QLocalSocket* peer);
    // Whether this part was handed on before; remembers it if not.
    bool isRepeated(const ActivationMessage& message);

    QLocalServer* server;
    std::function<void(ActivationMessage)> onMessage;
    int peers = 0;
    std::deque<std::pair<std::uint64_t, std::uint32_t>> handedOn; // (hand-over, part), oldest first
};

} // namespace lh
