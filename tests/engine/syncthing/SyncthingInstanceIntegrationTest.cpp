#include "QtPrinters.h"
#include "SyncthingInstance.h"
#include "AwaitTask.h"

#include "engine/syncthing/SyncthingSweep.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QSet>
#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <unistd.h>

namespace tw {
namespace {

// The socket inodes a process holds open.
QSet<QString> socketInodes(pid_t pid)
{
    QSet<QString> inodes;
    const QString fdDir = QStringLiteral("/proc/%1/fd").arg(pid);
    for (const QString &fd : QDir(fdDir).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System)) {
        char link[128] = {};
        const QByteArray path = (fdDir + '/' + fd).toLocal8Bit();
        const ssize_t length = ::readlink(path.constData(), link, sizeof(link) - 1);
        const QString target = QString::fromLatin1(link, length > 0 ? length : 0);
        if (target.startsWith("socket:["))
            inodes.insert(target.mid(8).chopped(1));
    }
    return inodes;
}

// Whether an address column of /proc/net/{tcp,udp}[6] ("0100007F:1F90") is
// loopback or unspecified-with-no-peer; v6 covers ::1 and v4-mapped 127/8.
bool isLoopbackOrNone(const QString &column)
{
    const QString hex = column.section(':', 0, 0);
    if (hex.size() == 8) {
        const quint32 little = hex.toUInt(nullptr, 16);
        return (little & 0xff) == 127 || little == 0;
    }
    if (hex == QString(32, '0'))
        return true;
    if (hex == "00000000000000000000000001000000")
        return true; // ::1
    // ::ffff:127.x.y.z, stored as four little-endian words
    return hex.startsWith("0000000000000000FFFF0000") && hex.mid(30, 2).toUInt(nullptr, 16) == 127;
}

struct SocketRow
{
    QString table;
    QString local;
    QString remote;
    QString state;
};

QList<SocketRow> socketsOf(const QList<pid_t> &pids)
{
    QSet<QString> inodes;
    for (pid_t pid : pids)
        inodes.unite(socketInodes(pid));
    QList<SocketRow> rows;
    for (const char *table : {"tcp", "tcp6", "udp", "udp6"}) {
        QFile file(QStringLiteral("/proc/net/") + table);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> lines = file.readAll().split('\n');
        for (const QByteArray &line : lines.mid(1)) {
            const QStringList columns = QString::fromLatin1(line).simplified().split(' ');
            if (columns.size() > 9 && inodes.contains(columns.at(9)))
                rows.append({table, columns.at(1), columns.at(2), columns.at(3)});
        }
    }
    return rows;
}

TEST(SyncthingInstanceIntegrationTest, TwoInstancesOnTwoLoopbackHostsPairAndConnect)
{
    const auto begin = std::chrono::steady_clock::now();
    SyncthingInstance first(QStringLiteral("127.0.0.1"), QStringLiteral("First"));
    SyncthingInstance second(QStringLiteral("127.0.0.2"), QStringLiteral("Second"));
    first.start();
    const auto oneStarted = std::chrono::steady_clock::now();
    second.start();
    std::cout << "[ figures  ] fixture start (generate, harden, launch, first ping): "
              << std::chrono::duration_cast<std::chrono::milliseconds>(oneStarted - begin).count() << " ms\n";

    EXPECT_EQ(first.baseURL().host(), "127.0.0.1");
    EXPECT_EQ(second.baseURL().host(), "127.0.0.2");
    EXPECT_TRUE(first.listenAddress().startsWith("tcp://127.0.0.1:"));
    EXPECT_TRUE(second.listenAddress().startsWith("tcp://127.0.0.2:"));
    EXPECT_NE(first.deviceID(), second.deviceID());

    const auto pairStart = std::chrono::steady_clock::now();
    first.pairWith(second);
    const QJsonArray devices = first.get("/rest/config/devices").json().array();
    bool found = false;
    for (const auto &device : devices) {
        if (device.toObject().value("deviceID").toString() != second.deviceID())
            continue;
        found = true;
        EXPECT_EQ(device.toObject().value("name").toString(), "Second");
        EXPECT_EQ(device.toObject().value("addresses").toArray(), QJsonArray{second.listenAddress()});
    }
    EXPECT_TRUE(found);

    EXPECT_TRUE(first.waitUntilConnected(second.deviceID()));
    EXPECT_TRUE(second.waitUntilConnected(first.deviceID()));
    std::cout << "[ figures  ] pair to connected: "
              << std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - pairStart)
                     .count()
              << " ms\n";
    // Either side may have dialled; the peer's address is loopback either way.
    for (SyncthingInstance *side : {&first, &second}) {
        SyncthingInstance &peer = side == &first ? second : first;
        const QJsonObject connection = side->get("/rest/system/connections")
                                           .json()
                                           .object()["connections"]
                                           .toObject()[peer.deviceID()]
                                           .toObject();
        EXPECT_TRUE(connection.value("address").toString().startsWith("127.0.0."))
            << connection.value("address").toString().toStdString();
    }

    const auto stopStart = std::chrono::steady_clock::now();
    first.stop();
    std::cout << "[ figures  ] stop (SIGTERM until no process of the home is left): "
              << std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - stopStart)
                     .count()
              << " ms\n";
}

TEST(SyncthingInstanceIntegrationTest, EverythingThatCouldLeaveLoopbackIsOff)
{
    SyncthingInstance instance(QStringLiteral("127.0.0.3"));
    instance.start();
    const QJsonObject options = instance.get("/rest/config/options").json().object();
    EXPECT_EQ(options.value("listenAddresses").toArray().size(), 1);
    EXPECT_FALSE(options.value("globalAnnounceEnabled").toBool(true));
    EXPECT_FALSE(options.value("localAnnounceEnabled").toBool(true));
    EXPECT_FALSE(options.value("relaysEnabled").toBool(true));
    EXPECT_FALSE(options.value("natEnabled").toBool(true));
    EXPECT_EQ(options.value("urAccepted").toInt(), -1);
    EXPECT_FALSE(options.value("crashReportingEnabled").toBool(true));
    EXPECT_EQ(options.value("autoUpgradeIntervalH").toInt(-1), 0);
    EXPECT_FALSE(options.value("startBrowser").toBool(true));
    // No "default" folder and no ~/Sync.
    EXPECT_TRUE(instance.get("/rest/config/folders").json().array().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(instance.environment().value("HOME") + "/Sync"));

    const QList<pid_t> pids = SyncthingSweep::processesServing(instance.home());
    ASSERT_EQ(pids.size(), 2);
    const QList<SocketRow> sockets = socketsOf(pids);
    EXPECT_FALSE(sockets.isEmpty());
    for (const SocketRow &row : sockets) {
        EXPECT_TRUE(isLoopbackOrNone(row.local) && isLoopbackOrNone(row.remote))
            << row.table.toStdString() << " " << row.local.toStdString() << " -> " << row.remote.toStdString();
        EXPECT_FALSE(row.table.startsWith("udp")) << "datagram socket " << row.local.toStdString();
    }
}

TEST(SyncthingInstanceIntegrationTest, DestructionLeavesNoProcessAndNoHome)
{
    QString home;
    QString root;
    {
        SyncthingInstance instance;
        instance.start();
        home = instance.home();
        root = instance.root();
        ASSERT_EQ(SyncthingSweep::processesServing(home).size(), 2);
    }
    EXPECT_TRUE(SyncthingSweep::processesServing(home).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(root));
}

TEST(SyncthingInstanceIntegrationTest, ScanAndRestHelpersSpeakToTheInstance)
{
    SyncthingInstance instance;
    instance.start();
    const QString folderPath = instance.root() + "/folder";
    QDir().mkpath(folderPath);
    const QJsonObject folder{{"id", "tdw-a+b"}, {"label", "A"}, {"path", folderPath}, {"type", "sendreceive"}};
    EXPECT_TRUE(instance.post("/rest/config/folders", QJsonDocument(folder).toJson()).ok());
    QFile file(folderPath + "/hello.txt");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("hello");
    file.close();

    instance.scan("tdw-a+b");
    const auto status = instance.get("/rest/db/status?folder=" + SyncthingInstance::encode("tdw-a+b"));
    ASSERT_TRUE(status.ok()) << status.body.toStdString();
    EXPECT_EQ(status.json().object().value("localFiles").toInt(), 1);
    EXPECT_EQ(instance.del("/rest/config/folders/" + SyncthingInstance::encode("tdw-a+b")).status, 200);
    EXPECT_EQ(instance.get("/rest/db/status?folder=nope").status, 404);
    EXPECT_EQ(SyncthingInstance::encode("a+b c/d"), "a%2Bb%20c%2Fd");
}

TEST(SyncthingInstanceIntegrationTest, HandsOutAnEngineOnItsRunningInstance)
{
    SyncthingInstance instance;
    instance.start();
    const qint64 pid = instance.pid();
    auto engine = instance.makeEngine();
    awaitTask(engine->start());
    EXPECT_EQ(instance.pid(), pid) << "the engine launched a second Syncthing";
    EXPECT_EQ(awaitTask(engine->localDeviceID()), instance.deviceID());
}

} // namespace
} // namespace tw
