#include "PortRelay.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpSocket>

namespace tw {

PortRelay::PortRelay(quint16 targetPort, QObject *parent) : QObject(parent), m_targetPort(targetPort)
{
    connect(&m_server, &QTcpServer::newConnection, this, &PortRelay::onNewConnection);
}

bool PortRelay::listen(quint16 port)
{
    return m_server.listen(QHostAddress::LocalHost, port);
}

void PortRelay::onNewConnection()
{
    while (QTcpSocket *client = m_server.nextPendingConnection()) {
        // The upstream socket belongs to the client socket; both go when the
        // client side closes.
        auto *upstream = new QTcpSocket(client);
        connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
        // Writes made while connecting are buffered and flushed on connect.
        connect(client, &QTcpSocket::readyRead, upstream, [client, upstream] { upstream->write(client->readAll()); });
        connect(upstream, &QTcpSocket::readyRead, client, [client, upstream] { client->write(upstream->readAll()); });
        connect(upstream, &QTcpSocket::disconnected, client, [client, upstream] {
            client->write(upstream->readAll());
            client->disconnectFromHost();
        });
        connect(upstream, &QTcpSocket::errorOccurred, client, [client](QAbstractSocket::SocketError error) {
            if (error != QAbstractSocket::RemoteHostClosedError)
                client->abort();
        });
        upstream->connectToHost(QHostAddress::LocalHost, m_targetPort);
        if (client->bytesAvailable() > 0)
            upstream->write(client->readAll());
    }
}

} // namespace tw
