#include "lan/DiagServer.h"

#include "lan/DiagConnection.h"
#include "lan/HttpRequestHead.h"
#include "lan/ListenSocket.h"
#include "lan/PeerAddress.h"

#include <QTcpServer>
#include <QTcpSocket>

#include <unistd.h>

namespace tw {
namespace {

constexpr int listenBacklog = 128;

// Sockets that wait in the queue while the server is at its connection cap
// get a bounded read buffer from the start.
class BoundedTcpServer : public QTcpServer
{
public:
    using QTcpServer::QTcpServer;

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto socket = std::make_unique<QTcpSocket>(this);
        socket->setReadBufferSize(DiagConnection::headLimit);
        if (socket->setSocketDescriptor(descriptor))
            addPendingConnection(socket.release());
        else
            ::close(static_cast<int>(descriptor));  // the socket did not take it over
    }
};

const QString forbiddenPage = QStringLiteral("Remote status is off, or the link/token is invalid.");
const QString notPaired = QStringLiteral("Not a paired device.");
const QString ok = QStringLiteral("200 OK");
const QString forbidden = QStringLiteral("403 Forbidden");
const QString notFound = QStringLiteral("404 Not Found");
const QString html = QStringLiteral("text/html");
const QString plain = QStringLiteral("text/plain");
const QString json = QStringLiteral("application/json");

} // namespace

DiagServer::DiagServer(QObject *parent) : DiagServer(Options{}, parent) {}

DiagServer::DiagServer(Options options, QObject *parent) : QObject(parent), m_options(std::move(options)) {}

DiagServer::~DiagServer() = default;

void DiagServer::start()
{
    if (m_listener)
        return;
    auto listener = std::make_unique<BoundedTcpServer>();
    listener->setListenBacklogSize(listenBacklog);
    // One connection may wait in Qt's own queue while we are at the cap;
    // the rest wait in the system's backlog.
    listener->setMaxPendingConnections(1);
    if (!ListenSocket::listen(*listener, m_options.address, m_options.port, listenBacklog)) {
        m_running = false;
        return;
    }
    connect(listener.get(), &QTcpServer::newConnection, this, &DiagServer::acceptPending);
    m_listener = std::move(listener);
    m_running = true;
}

void DiagServer::stop()
{
    m_listener.reset();
    m_running = false;
}

quint16 DiagServer::serverPort() const
{
    return m_listener ? m_listener->serverPort() : 0;
}

void DiagServer::acceptPending()
{
    while (m_listener && m_openConnections < m_options.maxConnections && m_listener->hasPendingConnections())
        adopt(m_listener->nextPendingConnection());
    if (m_listener && m_openConnections >= m_options.maxConnections)
        m_listener->pauseAccepting();
}

void DiagServer::adopt(QTcpSocket *socket)
{
    if (!socket)
        return;
    const QString address = PeerAddress::normalized(socket->peerAddress().toString());
    int &fromAddress = m_openByAddress[address];
    if (fromAddress >= m_options.maxConnectionsPerAddress) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    ++fromAddress;
    ++m_openConnections;
    const DiagConnection::Timeouts timeouts{m_options.requestDeadline, m_options.idleTimeout};
    auto *connection = new DiagConnection(socket, timeouts, this);
    connect(connection, &QObject::destroyed, this, [this, address] { connectionClosed(address); });
    connect(connection, &DiagConnection::requestReceived, this,
            [this, guard = QPointer<DiagConnection>(connection)](const QString &head, const QByteArray &body) {
                startRoute(guard, head, body);
            });
}

void DiagServer::connectionClosed(const QString &address)
{
    --m_openConnections;
    if (--m_openByAddress[address] <= 0)
        m_openByAddress.remove(address);
    if (m_listener && m_openConnections < m_options.maxConnections) {
        m_listener->resumeAccepting();
        acceptPending();
    }
}

void DiagServer::startRoute(QPointer<DiagConnection> connection, const QString &head, const QByteArray &body)
{
    const HttpRequestHead parsed = HttpRequestHead::parse(head);
    Request request{parsed.method, parsed.path, parsed.query, parsed.senderID, body, connection->peerAddress()};
    Handlers handlers{reportProvider, statusProvider, isKnownPeer, purgeHandler, dashboardProvider, dashboardAuthorized};
    // Detached: the task keeps its own copies and checks the connection when
    // it has an answer.
    route(std::move(handlers), std::move(connection), std::move(request));
}

QCoro::Task<void> DiagServer::route(Handlers handlers, QPointer<DiagConnection> connection, Request request)
{
    try {
        const Answer answer = co_await answerFor(std::move(handlers), std::move(request));
        if (connection)
            connection->send(answer.status, answer.contentType, answer.body);
    } catch (...) {
        // Handlers answer rather than fail; one that throws gets no answer.
        if (connection)
            connection->cancel();
    }
}

// Results of co_await are bound to locals before they go into an Answer:
// GCC 12 frees the awaited value too early when co_await stands inside a
// braced initializer (and is unreliable with co_await in && and || operands).
QCoro::Task<DiagServer::Answer> DiagServer::answerFor(Handlers handlers, Request request)
{
    Answer answer;
    if (request.method == QLatin1String("GET") && request.path == QLatin1String("/"))
        answer = co_await statusPage(std::move(handlers), request.query);
    else
        answer = co_await peerRoute(std::move(handlers), std::move(request));
    co_return answer;
}

QCoro::Task<DiagServer::Answer> DiagServer::statusPage(Handlers handlers, QString query)
{
    bool authorized = false;
    if (handlers.dashboardAuthorized)
        authorized = co_await handlers.dashboardAuthorized(HttpRequestHead::queryValue(QStringLiteral("t"), query));
    if (!authorized)
        co_return Answer{forbidden, plain, forbiddenPage.toUtf8()};
    if (!handlers.dashboardProvider)
        co_return Answer{ok, html, QStringLiteral("<!doctype html><title>\u2014</title>No status.").toUtf8()};
    const QString page = co_await handlers.dashboardProvider();
    co_return Answer{ok, html, page.toUtf8()};
}

QCoro::Task<DiagServer::Answer> DiagServer::peerRoute(Handlers handlers, Request request)
{
    bool known = false;
    if (handlers.isKnownPeer)
        known = co_await handlers.isKnownPeer(request.senderID, request.sourceAddress);
    if (!known || request.senderID.isEmpty())
        co_return Answer{forbidden, plain, notPaired.toUtf8()};

    const bool get = request.method == QLatin1String("GET");
    if (get && request.path == QLatin1String("/status")) {
        if (!handlers.statusProvider)
            co_return Answer{ok, json, QByteArrayLiteral("{}")};
        QByteArray status = co_await handlers.statusProvider();
        co_return Answer{ok, json, std::move(status)};
    }
    if (get && request.path == QLatin1String("/diag")) {
        if (!handlers.reportProvider)
            co_return Answer{ok, plain, QByteArrayLiteral("No diagnostics report is available.")};
        const QString report = co_await handlers.reportProvider();
        co_return Answer{ok, plain, report.toUtf8()};
    }
    if (request.method == QLatin1String("POST") && request.path == QLatin1String("/purge")) {
        if (!handlers.purgeHandler)
            co_return Answer{notFound, plain, QByteArrayLiteral("no purge")};
        const PurgeAnswer purge = co_await handlers.purgeHandler(request.senderID, request.body);
        co_return Answer{purge.status, json, purge.json};
    }
    co_return Answer{notFound, plain, QByteArrayLiteral("not found")};
}

} // namespace tw
