#include "app/InstanceListener.h"

#include "app/InstanceChannel.h"
#include "utilities/LocalSocketAddress.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

namespace tw {

InstanceListener::InstanceListener(QObject *parent) : QObject(parent), m_server(new QLocalServer(this))
{
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &InstanceListener::accept);
}

InstanceListener::~InstanceListener() = default;

bool InstanceListener::listen(const QString &socketPath)
{
    m_server->close();
    m_address = std::make_unique<LocalSocketAddress>(socketPath);
    if (m_address->path().isEmpty()) {
        m_failure = QStringLiteral("no socket address reaches ") + socketPath;
        return false;
    }
    QLocalServer::removeServer(m_address->path());
    const bool listening = m_server->listen(m_address->path());
    m_failure = listening ? QString() : m_server->errorString();
    return listening;
}

void InstanceListener::close()
{
    m_server->close();
}

QString InstanceListener::errorString() const
{
    return m_failure;
}

void InstanceListener::accept()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { read(socket); });
        // A peer that never finishes its line is cut off.
        QTimer::singleShot(lineWait, socket, [socket] { socket->abort(); socket->deleteLater(); });
        read(socket);
    }
}

void InstanceListener::read(QLocalSocket *socket)
{
    const qsizetype limit = InstanceChannel::maxLineBytes + 1;
    const QByteArray buffered = socket->peek(limit);
    const qsizetype end = buffered.indexOf('\n');
    if (end < 0) {
        if (buffered.size() >= limit)
            socket->abort();
        return;
    }
    const std::optional<QString> line = InstanceChannel::decodeLine(buffered.left(end));
    // One line per connection: whatever follows it is not read.
    disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
    socket->readAll();
    if (!line) {
        socket->abort();
        return;
    }
    socket->write(InstanceChannel::answer);
    socket->disconnectFromServer();
    emit lineReceived(*line);
}

} // namespace tw
