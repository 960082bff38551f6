// Load check of the LAN status server: 10,000 GET /status requests from 50
// concurrent loopback clients. Prints requests per second, the process's peak
// resident memory and how many requests went unanswered; exits non-zero when
// any did.
//
// The server runs on the main thread's event loop as in the application; the
// clients are plain blocking sockets on threads of their own.

#include "engine/DiagServer.h"
#include "engine/FolderDiagStatus.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
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

// One complete exchange over a fresh connection; true when the whole answer
// arrived and was the expected one.
bool exchange(quint16 port, const std::string &request, const std::string &expected)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval timeout{30, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    bool ok = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0
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

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);

    tw::DiagServer::Options options;
    options.address = QHostAddress(QHostAddress::LocalHost);
    options.port = 0;
    tw::DiagServer server(options);
    const QByteArray body = typicalStatus();
    server.isKnownPeer = [](QString id, QString address) { return admit(std::move(id), std::move(address)); };
    server.statusProvider = [body] { return statusBody(body); };
    server.start();
    if (!server.isRunning()) {
        std::fprintf(stderr, "diag_server_load: the server did not start\n");
        return 2;
    }
    const quint16 port = server.serverPort();
    const std::string request = "GET /status HTTP/1.1\r\nHost: mac\r\nX-Tidewell-From: BENCH-PEER\r\n\r\n";
    const std::string expected = "HTTP/1.1 200 OK\r\nContent-Type: application/json; charset=utf-8\r\nContent-Length: "
                                 + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body.toStdString();

    int mostOpen = 0;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] { mostOpen = std::max(mostOpen, server.openConnections()); });
    sampler.start(1);

    const long baselineKB = peakResidentKB();
    std::atomic<int> next{0};
    std::atomic<int> answered{0};
    std::atomic<int> dropped{0};
    QElapsedTimer clock;
    clock.start();
    std::vector<std::thread> clients;
    for (int c = 0; c < clientCount; ++c) {
        clients.emplace_back([&] {
            while (next.fetch_add(1) < totalRequests)
                (exchange(port, request, expected) ? answered : dropped).fetch_add(1);
        });
    }
    std::thread joiner([&] {
        for (std::thread &client : clients)
            client.join();
        QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    app.exec();
    joiner.join();
    const double seconds = clock.nsecsElapsed() / 1e9;

    std::printf("requests:            %d (%d clients, %d-byte answers)\n", totalRequests, clientCount,
                static_cast<int>(expected.size()));
    std::printf("answered:            %d\n", answered.load());
    std::printf("dropped:             %d\n", dropped.load());
    std::printf("elapsed:             %.2f s\n", seconds);
    std::printf("requests per second: %.0f\n", totalRequests / seconds);
    std::printf("most open at once:   %d (cap %d)\n", mostOpen, options.maxConnections);
    std::printf("peak memory (VmHWM): %ld kB (%ld kB before the load)\n", peakResidentKB(), baselineKB);
    return dropped.load() == 0 && answered.load() == totalRequests ? 0 : 1;
}
