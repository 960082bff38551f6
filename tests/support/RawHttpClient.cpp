#include "RawHttpClient.h"

#include "WaitUntil.h"

namespace tw {

RawHttpClient::RawHttpClient(QObject *parent) : QObject(parent)
{
    connect(&m_socket, &QTcpSocket::readyRead, this, [this] { m_received += m_socket.readAll(); });
    connect(&m_socket, &QTcpSocket::disconnected, this, [this] {
        if (m_socket.isOpen())
            m_received += m_socket.readAll();
        m_closed = true;
    });
    connect(&m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error == QAbstractSocket::RemoteHostClosedError)
            m_closed = true;
    });
}

bool RawHttpClient::connectTo(const QHostAddress &address, quint16 port, int timeoutMs)
{
    m_socket.connectToHost(address, port);
    return waitUntil([this] { return m_socket.state() == QAbstractSocket::ConnectedState || m_closed
                                     || m_socket.state() == QAbstractSocket::UnconnectedState; },
                     timeoutMs)
           && m_socket.state() == QAbstractSocket::ConnectedState;
}

void RawHttpClient::send(const QByteArray &bytes)
{
    m_socket.write(bytes);
}

bool RawHttpClient::flush(int timeoutMs)
{
    return waitUntil([this] { return m_socket.bytesToWrite() == 0 || m_closed; }, timeoutMs);
}

bool RawHttpClient::waitClosed(int timeoutMs)
{
    return waitUntil([this] { return m_closed; }, timeoutMs);
}

void RawHttpClient::close()
{
    m_socket.abort();
}

QByteArray RawHttpClient::exchange(const QHostAddress &address, quint16 port, const QByteArray &request, int timeoutMs)
{
    RawHttpClient client;
    if (!client.connectTo(address, port))
        return QByteArray();
    client.send(request);
    if (!client.waitClosed(timeoutMs))
        return QByteArray();
    return client.received().isNull() ? QByteArray("") : client.received();
}

} // namespace tw
