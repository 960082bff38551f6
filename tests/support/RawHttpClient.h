#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QTcpSocket>

namespace tw {

// A client that speaks raw bytes to a server on loopback, for tests that
// check answers byte for byte and how a server treats partial, oversized or
// idle requests. Everything it receives is kept; it never closes first unless
// told to.
class RawHttpClient : public QObject
{
    Q_OBJECT
public:
    explicit RawHttpClient(QObject *parent = nullptr);

    // Makes the connection come from this local address (before connectTo).
    bool bindTo(const QHostAddress &source) { return m_socket.bind(source); }
    // Connects and runs the event loop until connected; false on failure.
    bool connectTo(const QHostAddress &address, quint16 port, int timeoutMs = 3000);
    // Queues bytes; they go out while the event loop runs.
    void send(const QByteArray &bytes);
    // Runs the event loop until every queued byte has been handed to the system.
    bool flush(int timeoutMs = 5000);
    // Runs the event loop until the server has closed the connection.
    bool waitClosed(int timeoutMs = 5000);
    void close();

    bool isClosed() const { return m_closed; }
    const QByteArray &received() const { return m_received; }

    // Connects, sends the request and waits for the server to close; the
    // bytes received, or a null array when the connection failed or the
    // server did not close in time.
    static QByteArray exchange(const QHostAddress &address, quint16 port, const QByteArray &request,
                               int timeoutMs = 5000);

private:
    QTcpSocket m_socket;
    QByteArray m_received;
    bool m_closed = false;
};

} // namespace tw
