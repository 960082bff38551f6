#pragma once

#include "WaitUntil.h"

#include <QHostAddress>
#include <QTcpSocket>

namespace tw {

// Speaks raw bytes to a server on loopback from a source address of its own
// (any of 127.0.0.0/8) and keeps all it receives; it never closes first.
struct RawClient
{
    explicit RawClient(const QHostAddress &source = QHostAddress(QHostAddress::LocalHost))
    {
        socket.bind(source);
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] { received += socket.readAll(); });
    }

    bool connectTo(quint16 port)
    {
        socket.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
        return waitUntil([this] { return socket.state() == QAbstractSocket::ConnectedState || closed(); }) && !closed();
    }

    bool waitClosed(int timeoutMs = 5000)
    {
        return waitUntil([this] { return closed(); }, timeoutMs);
    }

    bool closed() const { return socket.state() == QAbstractSocket::UnconnectedState; }

    QTcpSocket socket;
    QByteArray received;
};

} // namespace tw
