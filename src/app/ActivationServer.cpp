#include "ActivationServer.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include <algorithm>
#include <cstdio>

#include <sys/socket.h>
#include <unistd.h>

namespace lh {

namespace {

bool isSameUser(const QLocalSocket& peer)
{
    ucred credentials {};
    socklen_t length = sizeof credentials;
    const int fd = int(peer.socketDescriptor());
    return fd >= 0 && ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) == 0
        && credentials.uid == ::getuid();
}

} // namespace

ActivationServer::ActivationServer(int listeningSocket, std::function<void(ActivationMessage)> onMessage)
    : server(new QLocalServer(this))
    , onMessage(std::move(onMessage))
{
    if (listeningSocket < 0 || !server->listen(listeningSocket)) {
        if (listeningSocket >= 0)
            std::fprintf(stderr, "larkhaven: activation socket unusable; later launches cannot reach this one\n");
        return;
    }
    connect(server, &QLocalServer::newConnection, this, &ActivationServer::accept);
}

ActivationServer::~ActivationServer() = default;

bool ActivationServer::isListening() const
{
    return server->isListening();
}

void ActivationServer::accept()
{
    while (QLocalSocket* peer = server->nextPendingConnection()) {
        if (!isSameUser(*peer) || peers >= maximumPeers) {
            peer->abort();
            peer->deleteLater();
            continue;
        }
        ++peers;
        connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
        connect(peer, &QObject::destroyed, this, [this] { --peers; });
        connect(peer, &QLocalSocket::readyRead, this, [this, peer] { read(peer); });
        QTimer::singleShot(peerTimeoutMilliseconds, peer, [peer] { peer->abort(); });
        read(peer);
    }
}

void ActivationServer::read(QLocalSocket* peer)
{
    // The socket buffers what has arrived; the message is taken out in one piece once it is
    // all there, so a large one is copied once.
    const QByteArray start = peer->peek(16);
    const auto received = std::size_t(peer->bytesAvailable());
    switch (ActivationMessage::check(std::string_view(start.constData(), std::size_t(start.size())), received)) {
    case ActivationMessage::Completeness::incomplete:
        return;
    case ActivationMessage::Completeness::invalid:
        peer->abort();
        return;
    case ActivationMessage::Completeness::complete:
        break;
    }
    const QByteArray bytes = peer->readAll();
    std::optional<ActivationMessage> message
        = ActivationMessage::decode(std::string_view(bytes.constData(), std::size_t(bytes.size())));
    if (!message) {
        peer->abort();
        return;
    }
    peer->write("k", 1);
    peer->flush();
    peer->disconnectFromServer();
    if (!isRepeated(*message))
        onMessage(std::move(*message));
}

bool ActivationServer::isRepeated(const ActivationMessage& message)
{
    const std::pair key { message.handOver, message.part };
    if (std::find(handedOn.begin(), handedOn.end(), key) != handedOn.end())
        return true;
    if (handedOn.size() == rememberedParts)
        handedOn.pop_front();
    handedOn.push_back(key);
    return false;
}

} // namespace lh
