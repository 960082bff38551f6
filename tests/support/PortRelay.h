#pragma once

#include <QObject>
#include <QTcpServer>

namespace tw {

// Listens on a given loopback port and relays every connection, byte for byte
// in both directions, to another loopback port. Lets a test put a server it
// cannot place on a chosen port (FakeHttpServer picks its own) behind the
// port that some component has already settled on.
class PortRelay : public QObject
{
    Q_OBJECT
public:
    explicit PortRelay(quint16 targetPort, QObject *parent = nullptr);

    // Listens on 127.0.0.1:port.
    bool listen(quint16 port);
    bool isListening() const { return m_server.isListening(); }

private:
    void onNewConnection();

    QTcpServer m_server;
    quint16 m_targetPort;
};

} // namespace tw
