#include "FakeHttpServer.h"

#include <QTcpSocket>
#include <QTimer>

namespace tw {
namespace {

constexpr const char *kBufferProperty = "fakeHttpBuffer";

// The request line and headers; the clients under test form them correctly.
FakeHttpServer::Request parseHead(const QByteArray &head)
{
    const QList<QByteArray> lines = head.split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    FakeHttpServer::Request request{.method = requestLine.value(0), .target = requestLine.value(1)};
    for (const QByteArray &line : lines.mid(1)) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            request.headers.append({line.left(colon), line.mid(colon + 1).trimmed()});
    }
    return request;
}

QByteArray formResponse(const FakeHttpServer::Response &response)
{
    if (response.raw)
        return *response.raw;
    QByteArray out = "HTTP/1.1 " + QByteArray::number(response.status) + " Fake\r\n";
    for (const auto &[name, value] : response.headers)
        out += name + ": " + value + "\r\n";
    out += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    return out + "Connection: close\r\n\r\n" + response.body;
}

} // namespace

std::optional<QByteArray> FakeHttpServer::Request::header(const QByteArray &name) const
{
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return std::nullopt;
}

FakeHttpServer::FakeHttpServer(QObject *parent) : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

void FakeHttpServer::onReadyRead(QTcpSocket *socket)
{
    const QByteArray buffer = socket->property(kBufferProperty).toByteArray() + socket->readAll();
    socket->setProperty(kBufferProperty, buffer);
    const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return;
    Request request = parseHead(buffer.left(headEnd));
    const qsizetype contentLength = request.header("Content-Length").value_or("0").toLongLong();
    if (buffer.size() - headEnd - 4 < contentLength)
        return;
    request.body = buffer.mid(headEnd + 4, contentLength);
    // One request per connection: whatever follows is not read.
    disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
    m_requests.append(request);
    if (m_held && (!m_holds || m_holds(request)))
        m_waiting.append({QPointer<QTcpSocket>(socket), request});
    else
        respond(socket, request);
}

void FakeHttpServer::release()
{
    m_held = false;
    m_holds = nullptr;
    for (const auto &[socket, request] : std::exchange(m_waiting, {})) {
        if (socket)
            respond(socket, request);
    }
}

void FakeHttpServer::respond(QTcpSocket *socket, const Request &request)
{
    if (!m_queue.isEmpty())
        answer(socket, m_queue.takeFirst());
    else
        answer(socket, m_handler ? m_handler(request) : Response());
}

void FakeHttpServer::answer(QTcpSocket *socket, const Response &response)
{
    if (response.dripMs > 0) {
        auto *drip = new QTimer(socket);
        // The head at once, as a peer that trickles only its body: Qt counts
        // its transfer time-out from the last byte of the body only.
        const QByteArray bytes = formResponse(response);
        const qsizetype headEnd = bytes.indexOf("\r\n\r\n");
        qsizetype sent = headEnd < 0 ? 0 : headEnd + 4;
        socket->write(bytes.left(sent));
        connect(drip, &QTimer::timeout, socket, [socket, bytes, sent]() mutable {
            socket->write(bytes.mid(sent++, 1));
        });
        drip->start(response.dripMs);
        return;
    }
    // Tied to the socket: a client that hung up early gets nothing.
    QTimer::singleShot(response.delayMs, socket, [socket, bytes = formResponse(response)] {
        socket->write(bytes);
        socket->disconnectFromHost();
    });
}

} // namespace tw
