#include "lan/DiagServer.h"

#include "lan/DiagConnection.h"
#include "lan/HttpRequestHead.h"
#include "lan/ListenSocket.h"
#include "lan/PeerAddress.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

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
    // One connection at a time leaves the system's backlog for Qt's queue;
    // acceptPending() takes each on at once.
    listener->setMaxPendingConnections(1);
    if (!ListenSocket::listen(*listener, m_options.address, m_options.port, listenBacklog)) {
        m_running = false;
        return;
    }
    connect(listener.get(), &QTcpServer::newConnection, this, &DiagServer::acceptPending);
    connect(listener.get(), &QTcpServer::acceptError, this, &DiagServer::acceptFailed);
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
    while (m_listener && m_listener->hasPendingConnections())
        take(m_listener->nextPendingConnection());
}

// Every connection is accepted, even at the cap, so that its address can be
// seen: a paired Mac must not wait behind hosts that trickle their requests.
void DiagServer::take(QTcpSocket *socket)
{
    if (!socket)
        return;
    // Held by the server, not the listener: a stop leaves it to be served.
    socket->setParent(this);
    const QString address = PeerAddress::normalized(socket->peerAddress().toString());
    if (m_openByAddress.value(address) >= m_options.maxConnectionsPerAddress) {
        drop(socket);
        return;
    }
    const bool paired = isPairedAddress && isPairedAddress(socket->peerAddress().toString());
    if (m_openConnections < m_options.maxConnections || (paired && makeRoomForPairedDevice())) {
        ++m_openByAddress[address];
        adopt(socket);
        return;
    }
    if (m_waiting.size() >= m_options.maxConnections) {
        drop(socket);
        return;
    }
    ++m_openByAddress[address];
    if (paired)
        m_waiting.prepend(socket);
    else
        m_waiting.append(socket);
}

void DiagServer::adopt(QTcpSocket *socket)
{
    const QString address = PeerAddress::normalized(socket->peerAddress().toString());
    ++m_openConnections;
    const DiagConnection::Timeouts timeouts{m_options.requestDeadline, m_options.idleTimeout};
    auto *connection = new DiagConnection(socket, timeouts, this);
    m_connections.append(connection);
    connect(connection, &QObject::destroyed, this, [this, address] { connectionClosed(address); });
    connect(connection, &DiagConnection::requestReceived, this,
            [this, guard = QPointer<DiagConnection>(connection)](const QString &head, const QByteArray &body) {
                startRoute(guard, head, body);
            });
}

// The oldest connection still sending its head gives way; one already being
// answered is never cut off.
bool DiagServer::makeRoomForPairedDevice()
{
    m_connections.removeIf([](const QPointer<DiagConnection> &connection) { return connection.isNull(); });
    for (const QPointer<DiagConnection> &connection : std::as_const(m_connections)) {
        if (connection->awaitingHead()) {
            connection->cancel();
            return true;
        }
    }
    return false;
}

void DiagServer::adoptWaiting()
{
    while (m_openConnections < m_options.maxConnections && !m_waiting.isEmpty()) {
        const QPointer<QTcpSocket> socket = m_waiting.takeFirst();
        if (socket)
            adopt(socket);
    }
}

// Qt stops accepting after an error it takes for a lasting one (no
// descriptor left) and starts again only when one of its connections closes;
// with none open, it never would.
void DiagServer::acceptFailed()
{
    const QPointer<QTcpServer> listener = m_listener.get();
    QTimer::singleShot(m_options.acceptRetryPause, this, [this, listener] {
        if (!listener || listener != m_listener.get())
            return;
        m_listener->resumeAccepting();
        acceptPending();
    });
}

void DiagServer::connectionClosed(const QString &address)
{
    --m_openConnections;
    if (--m_openByAddress[address] <= 0)
        m_openByAddress.remove(address);
    adoptWaiting();
}

void DiagServer::drop(QTcpSocket *socket)
{
    socket->abort();
    socket->deleteLater();
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
