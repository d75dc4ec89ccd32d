#pragma once

#include "ActivationMessage.h"

#include <QObject>

#include <functional>

class QLocalServer;
class QLocalSocket;

namespace lh {

// The running player's end of the activation socket. Accepts connections from processes of the
// same user only, reads one message from each (bounded in size and time), confirms it with a
// one-byte receipt and hands it to `onMessage`. Main thread only.
class ActivationServer : public QObject {
public:
    // Takes over `listeningSocket` (from SingleInstance::claimOrForward).
    ActivationServer(int listeningSocket, std::function<void(ActivationMessage)> onMessage);
    ~ActivationServer() override;

    bool isListening() const;

    static constexpr int maximumPeers = 64;
    static constexpr int peerTimeoutMilliseconds = 10'000;

private:
    void accept();
    void read(QLocalSocket* peer);

    QLocalServer* server;
    std::function<void(ActivationMessage)> onMessage;
    int peers = 0;
};

} // namespace lh
