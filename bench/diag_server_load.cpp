// Load check of the LAN status server: 10,000 GET /status requests from 50
// concurrent loopback clients, each from an address of its own as 50 Macs
// would send them, once behind an always-open gate and once behind the real
// known-peer gate of a real Syncthing paired with the sender. Prints requests
// per second, the requests that reached Syncthing (from its own API trace),
// the process's peak resident memory and how many requests went unanswered;
// exits non-zero when any did.
//
// The server runs on the main thread's event loop as in the application; the
// clients are plain blocking sockets on threads of their own.

#include "lan/DiagServer.h"
#include "engine/model/FolderDiagStatus.h"
#include "lan/PairedPeerGate.h"

#include "AwaitTask.h"
#include "BenchSupport.h"
#include "SyncthingInstance.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int totalRequests = 10'000;
constexpr int clientCount = 50;
constexpr int folderCount = 20;

// Peak resident set size in kB, from /proc/self/status.
long peakResidentKB()
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

QCoro::Task<bool> admit(QString, QString)
{
    co_return true;
}

QCoro::Task<QByteArray> statusBody(QByteArray body)
{
    co_return body;
}

QByteArray typicalStatus()
{
    QList<tw::FolderDiagStatus> folders;
    for (int i = 0; i < folderCount; ++i) {
        folders.append({QStringLiteral("tdw-%1").arg(i, 8, 16, QLatin1Char('0')), QStringLiteral("Project folder %1").arg(i),
                        QStringLiteral("idle"), 12'345'678'901LL, 12'345'678'901LL, 0, 0});
    }
    return tw::FolderDiagStatus::encodeList(folders);
}

sockaddr_in ipv4(quint32 host, quint16 port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(host);
    return address;
}

// One complete exchange over a fresh connection from the given loopback
// source; true when the whole answer arrived and was the expected one.
bool exchange(quint32 source, quint32 server, quint16 port, const std::string &request, const std::string &expected)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const sockaddr_in from = ipv4(source, 0);
    const sockaddr_in to = ipv4(server, port);
    timeval timeout{30, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    bool ok = ::bind(fd, reinterpret_cast<const sockaddr *>(&from), sizeof from) == 0
              && ::connect(fd, reinterpret_cast<const sockaddr *>(&to), sizeof to) == 0
              && ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size());
    std::string received;
    char buffer[16384];
    while (ok) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0)
            ok = false;
        if (n <= 0)
            break;
        received.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return ok && received == expected;
}

struct Load
{
    int answered = 0;
    int dropped = 0;
    double seconds = 0;
    int mostOpen = 0;
};

// Sends the whole load through the running server; returns once every client
// is done.
Load runLoad(QCoreApplication &app, tw::DiagServer &server, quint32 serverHost, const std::string &request,
             const std::string &expected)
{
    Load load;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout,
                     [&] { load.mostOpen = std::max(load.mostOpen, server.openConnections()); });
    sampler.start(1);
    std::atomic<int> next{0};
    std::atomic<int> answered{0};
    std::atomic<int> dropped{0};
    QElapsedTimer clock;
    clock.start();
    std::vector<std::thread> clients;
    for (int c = 0; c < clientCount; ++c) {
        const quint32 source = (127u << 24) | (1u << 8) | quint32(c + 1);  // 127.0.1.<c+1>
        clients.emplace_back([&, source, port = server.serverPort()] {
            while (next.fetch_add(1) < totalRequests)
                (exchange(source, serverHost, port, request, expected) ? answered : dropped).fetch_add(1);
        });
    }
    std::thread joiner([&] {
        for (std::thread &client : clients)
            client.join();
        QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    app.exec();
    joiner.join();
    load.seconds = clock.nsecsElapsed() / 1e9;
    load.answered = answered.load();
    load.dropped = dropped.load();
    return load;
}

void print(const char *title, const Load &load, const std::map<QString, tw::bench::Traced> &traced, int cap)
{
    std::printf("\n%s\n", title);
    std::printf("  answered:            %d of %d (%d dropped)\n", load.answered, totalRequests, load.dropped);
    std::printf("  elapsed:             %.2f s\n", load.seconds);
    std::printf("  requests per second: %.0f\n", totalRequests / load.seconds);
    std::printf("  most open at once:   %d (cap %d)\n", load.mostOpen, cap);
    int reached = 0;
    for (const auto &[what, entry] : traced) {
        std::printf("  to Syncthing:        %-28s %6d requests, %8.1f ms in Syncthing\n", qPrintable(what), entry.count,
                    entry.serverMs);
        reached += entry.count;
    }
    std::printf("  to Syncthing in all: %d requests (%.4f per LAN request)\n", reached,
                double(reached) / totalRequests);
}

} // namespace

int main(int argc, char **argv)
{
    using namespace tw;
    QCoreApplication app(argc, argv);
    // Mac A reads; Mac B serves, and its Syncthing logs every API request.
    SyncthingInstance macA(QStringLiteral("127.0.0.6"), QStringLiteral("Mac A"));
    SyncthingInstance::Settings settingsB;
    settingsB.host = QStringLiteral("127.0.0.7");
    settingsB.name = QStringLiteral("Mac B");
    settingsB.extraEnvironment.insert(QStringLiteral("STTRACE"), QStringLiteral("api"));
    SyncthingInstance macB(settingsB);
    macA.start();
    macB.start();
    macA.pairWith(macB);
    bench::require(macB.waitUntilConnected(macA.deviceID()), "Mac A connected");
    const std::unique_ptr<SyncthingEngine> engineB = macB.makeEngine();
    awaitTask(engineB->start());

    DiagServer::Options options;
    options.address = QHostAddress(macB.host());
    options.port = 0;
    DiagServer server(options);
    const QByteArray body = typicalStatus();
    server.statusProvider = [body] { return statusBody(body); };
    server.start();
    bench::require(server.isRunning(), "the server started");
    const std::string request =
        "GET /status HTTP/1.1\r\nHost: mac\r\nX-Tidewell-From: " + macA.deviceID().toStdString() + "\r\n\r\n";
    const std::string expected = "HTTP/1.1 200 OK\r\nContent-Type: application/json; charset=utf-8\r\nContent-Length: "
                                 + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body.toStdString();
    std::printf("LAN status server: %d GET /status from %d concurrent clients, %d-byte answers\n", totalRequests,
                clientCount, static_cast<int>(expected.size()));

    const QString log = bench::logPath(macB);
    const long baselineKB = peakResidentKB();
    bool allAnswered = true;
    const std::pair<const char *, DiagServer::KnownPeerTest> gates[] = {
        {"always-open gate", [](QString id, QString address) { return admit(std::move(id), std::move(address)); }},
        {"real gate (paired device's connection, from Syncthing)", PairedPeerGate::forEngine(engineB.get())},
    };
    for (const auto &[title, gate] : gates) {
        server.isKnownPeer = gate;
        QThread::msleep(500);
        const qint64 offset = QFileInfo(log).size();
        const Load load = runLoad(app, server, options.address.toIPv4Address(), request, expected);
        QThread::msleep(500);  // Syncthing writes its trace after answering
        print(title, load, bench::tracedRequests(log, offset), options.maxConnections);
        allAnswered = allAnswered && load.dropped == 0 && load.answered == totalRequests;
    }
    std::printf("\npeak memory (VmHWM): %ld kB (%ld kB before the load)\n", peakResidentKB(), baselineKB);
    return allAnswered ? 0 : 1;
}
