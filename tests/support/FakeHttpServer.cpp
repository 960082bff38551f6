#include "FakeHttpServer.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

namespace tw {
namespace {

constexpr const char *kBufferProperty = "fakeHttpBuffer";

struct ParsedHead
{
    FakeHttpServer::Request request;
    qsizetype contentLength = 0;
};

std::optional<ParsedHead> parseHead(const QByteArray &head)
{
    const QList<QByteArray> lines = head.split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    if (requestLine.size() != 3)
        return std::nullopt;
    ParsedHead parsed;
    parsed.request.method = requestLine[0];
    parsed.request.target = requestLine[1];
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].endsWith('\r') ? lines[i].chopped(1) : lines[i];
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = line.left(colon);
        const QByteArray value = line.mid(colon + 1).trimmed();
        parsed.request.headers.append({name, value});
        if (name.compare("content-length", Qt::CaseInsensitive) == 0)
            parsed.contentLength = value.toLongLong();
    }
    return parsed;
}

QByteArray formResponse(const FakeHttpServer::Response &response)
{
    QByteArray out = "HTTP/1.1 " + QByteArray::number(response.status) + ' '
        + (response.reason.isEmpty() ? QByteArray("Fake") : response.reason) + "\r\n";
    bool hasLength = false;
    for (const auto &[name, value] : response.headers) {
        out += name + ": " + value + "\r\n";
        hasLength = hasLength || name.compare("content-length", Qt::CaseInsensitive) == 0;
    }
    if (!hasLength)
        out += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    out += "Connection: close\r\n\r\n";
    return out + response.body;
}

} // namespace

QByteArray FakeHttpServer::Request::path() const
{
    const qsizetype mark = target.indexOf('?');
    return mark < 0 ? target : target.left(mark);
}

std::optional<QByteArray> FakeHttpServer::Request::query() const
{
    const qsizetype mark = target.indexOf('?');
    if (mark < 0)
        return std::nullopt;
    return target.mid(mark + 1);
}

std::optional<QByteArray> FakeHttpServer::Request::header(const QByteArray &name) const
{
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return std::nullopt;
}

FakeHttpServer::Response FakeHttpServer::Response::json(QByteArray body, int status)
{
    Response response;
    response.status = status;
    response.headers = {{"Content-Type", "application/json"}};
    response.body = std::move(body);
    return response;
}

FakeHttpServer::Response FakeHttpServer::Response::text(int status, QByteArray body)
{
    Response response;
    response.status = status;
    response.headers = {{"Content-Type", "text/plain; charset=utf-8"}};
    response.body = std::move(body);
    return response;
}

FakeHttpServer::Response FakeHttpServer::Response::rawBytes(QByteArray bytes)
{
    Response response;
    response.raw = std::move(bytes);
    return response;
}

FakeHttpServer::Response FakeHttpServer::Response::dropConnection()
{
    Response response;
    response.closeWithoutAnswer = true;
    return response;
}

FakeHttpServer::FakeHttpServer(QObject *parent) : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &FakeHttpServer::onNewConnection);
}

FakeHttpServer::~FakeHttpServer() { m_server.close(); }

bool FakeHttpServer::listen() { return m_server.listen(QHostAddress(QHostAddress::LocalHost), 0); }

quint16 FakeHttpServer::port() const { return m_server.serverPort(); }

QUrl FakeHttpServer::baseURL() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port()));
}

void FakeHttpServer::enqueue(Response response) { m_queue.append(std::move(response)); }

void FakeHttpServer::setHandler(Handler handler) { m_handler = std::move(handler); }

void FakeHttpServer::setDefaultResponse(Response response) { m_default = std::move(response); }

quint16 FakeHttpServer::closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress(QHostAddress::LocalHost), 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

void FakeHttpServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void FakeHttpServer::onReadyRead(QTcpSocket *socket)
{
    QByteArray buffer = socket->property(kBufferProperty).toByteArray() + socket->readAll();
    socket->setProperty(kBufferProperty, buffer);
    const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return;
    std::optional<ParsedHead> parsed = parseHead(buffer.left(headEnd));
    if (!parsed) {
        socket->disconnectFromHost();
        return;
    }
    const qsizetype bodyStart = headEnd + 4;
    if (buffer.size() - bodyStart < parsed->contentLength)
        return;
    parsed->request.body = buffer.mid(bodyStart, parsed->contentLength);
    // One request per connection: whatever follows is not read.
    disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
    m_requests.append(parsed->request);
    answer(socket, parsed->request);
}

FakeHttpServer::Response FakeHttpServer::responseFor(const Request &request)
{
    if (!m_queue.isEmpty())
        return m_queue.takeFirst();
    if (m_handler)
        return m_handler(request);
    return m_default;
}

void FakeHttpServer::answer(QTcpSocket *socket, const Request &request)
{
    const Response response = responseFor(request);
    if (response.dripMs > 0) {
        auto *drip = new QTimer(socket);
        connect(drip, &QTimer::timeout, socket, [socket, bytes = formResponse(response), sent = 0]() mutable {
            socket->write(bytes.mid(sent++, 1));
        });
        drip->start(response.dripMs);
        return;
    }
    auto reply = [response, guard = QPointer<QTcpSocket>(socket)] {
        if (!guard)
            return;
        if (!response.closeWithoutAnswer)
            guard->write(response.raw ? *response.raw : formResponse(response));
        guard->disconnectFromHost();
    };
    if (response.delayMs > 0)
        QTimer::singleShot(response.delayMs, socket, reply);
    else
        reply();
}

} // namespace tw
