#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>

#include <qcoro/qcorotask.h>

class QTcpServer;
class QTcpSocket;

namespace tw {

class DiagConnection;

// The LAN status server: a minimal HTTP/1.1 server through which paired Macs
// read this Mac's folder status and diagnostics report and send remote-purge
// commands, and through which a phone opens the read-only status page.
//
// The server knows nothing of the engine or the settings: it parses one
// request per connection, applies the two gates and hands the work to the
// handlers its owner installs. Each request reads the handlers when it is
// routed, so replacing one takes effect for the requests routed after it.
// Lives on the main thread; every request is answered by a task of its own.
class DiagServer : public QObject
{
    Q_OBJECT
public:
    static constexpr quint16 defaultPort = 48390;

    struct Options
    {
        QHostAddress address = QHostAddress::Any;
        quint16 port = defaultPort;
        // A request whose head and body have not all arrived this long after
        // its connection was taken is dropped, however steadily its bytes
        // trickle in, so a slow sender cannot hold its slot.
        std::chrono::milliseconds requestDeadline = std::chrono::seconds(10);
        // While the answer is written, a peer that takes none of it for this
        // long is dropped.
        std::chrono::milliseconds idleTimeout = std::chrono::seconds(10);
        // At this many open connections a new one waits until one closes,
        // unless it comes from a paired device (see isPairedAddress); beyond
        // as many more waiting, new ones are closed at once.
        int maxConnections = 32;
        // A connection from an address that already has this many open or
        // waiting is closed at once, so one host cannot take every slot.
        int maxConnectionsPerAddress = 4;
        // After the system refused a connection for want of resources (no
        // descriptor left), accepting starts again this much later.
        std::chrono::milliseconds acceptRetryPause = std::chrono::seconds(1);
    };

    struct PurgeAnswer
    {
        QString status;  // the whole status text, e.g. "409 Conflict"
        QByteArray json;
    };

    using ReportProvider = std::function<QCoro::Task<QString>()>;
    using StatusProvider = std::function<QCoro::Task<QByteArray>()>;
    // Given the "X-Tidewell-From" device ID and the address the request came
    // from; must hold for every route but the status page.
    using KnownPeerTest = std::function<QCoro::Task<bool>(QString deviceID, QString sourceAddress)>;
    using PurgeHandler = std::function<QCoro::Task<PurgeAnswer>(QString senderID, QByteArray body)>;
    using DashboardProvider = std::function<QCoro::Task<QString>()>;
    using DashboardAuthorizer = std::function<QCoro::Task<bool>(QString token)>;
    // Whether an address is the host of a paired device connected now, as
    // last seen; answered at once, without waiting for any request to get
    // through first.
    using PairedAddressTest = std::function<bool(const QString &address)>;

    explicit DiagServer(QObject *parent = nullptr);
    explicit DiagServer(Options options, QObject *parent = nullptr);
    ~DiagServer() override;

    // Opens the listener; does nothing while one is held. When the address
    // cannot be bound, no listener is kept and a later start() tries again.
    void start();
    // Closes the listener; connections in progress still get their answers.
    void stop();

    bool isRunning() const { return m_running; }
    bool hasListener() const { return m_listener != nullptr; }
    // The port listened on (the one the system chose when asked for port 0).
    quint16 serverPort() const;
    int openConnections() const { return m_openConnections; }

    ReportProvider reportProvider;        // GET /diag
    StatusProvider statusProvider;        // GET /status
    KnownPeerTest isKnownPeer;            // gate of /status, /diag, /purge
    PurgeHandler purgeHandler;            // POST /purge
    DashboardProvider dashboardProvider;  // GET /
    DashboardAuthorizer dashboardAuthorized;
    // A connection from such an address is not made to wait behind others
    // at the cap: the oldest connection still sending its head gives way.
    PairedAddressTest isPairedAddress;

private:
    struct Request
    {
        QString method;
        QString path;
        QString query;
        QString senderID;
        QByteArray body;
        QString sourceAddress;
    };
    struct Answer
    {
        QString status;
        QString contentType;
        QByteArray body;
    };

    void acceptPending();
    void take(QTcpSocket *socket);
    void adopt(QTcpSocket *socket);
    bool makeRoomForPairedDevice();
    void adoptWaiting();
    void acceptFailed();
    void connectionClosed(const QString &address);
    static void drop(QTcpSocket *socket);

    struct Handlers
    {
        ReportProvider reportProvider;
        StatusProvider statusProvider;
        KnownPeerTest isKnownPeer;
        PurgeHandler purgeHandler;
        DashboardProvider dashboardProvider;
        DashboardAuthorizer dashboardAuthorized;
    };

    void startRoute(QPointer<DiagConnection> connection, const QString &head, const QByteArray &body);
    static QCoro::Task<void> route(Handlers handlers, QPointer<DiagConnection> connection, Request request);
    static QCoro::Task<Answer> answerFor(Handlers handlers, Request request);
    static QCoro::Task<Answer> statusPage(Handlers handlers, QString query);
    static QCoro::Task<Answer> peerRoute(Handlers handlers, Request request);

    Options m_options;
    std::unique_ptr<QTcpServer> m_listener;
    bool m_running = false;
    int m_openConnections = 0;
    QHash<QString, int> m_openByAddress;  // normalized peer address -> open and waiting connections
    QList<QPointer<DiagConnection>> m_connections;  // in the order they were taken
    QList<QPointer<QTcpSocket>> m_waiting;          // accepted at the cap, oldest first
};

} // namespace tw
