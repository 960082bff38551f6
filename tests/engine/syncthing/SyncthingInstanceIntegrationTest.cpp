#include "QtPrinters.h"
#include "SyncthingInstance.h"

#include "engine/syncthing/process/SyncthingSweep.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QSet>
#include <gtest/gtest.h>

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
                rows.append({table, columns.at(1), columns.at(2)});
        }
    }
    return rows;
}

TEST(SyncthingInstanceIntegrationTest, TwoInstancesOnTwoLoopbackHostsPairAndConnect)
{
    SyncthingInstance first(QStringLiteral("127.0.0.1"), QStringLiteral("First"));
    SyncthingInstance second(QStringLiteral("127.0.0.2"), QStringLiteral("Second"));
    first.start();
    second.start();
    EXPECT_EQ(second.baseURL().host(), "127.0.0.2");
    EXPECT_TRUE(second.listenAddress().startsWith("tcp://127.0.0.2:"));

    first.pairWith(second);
    const QJsonObject device = first.get("/rest/config/devices/" + second.deviceID()).json().object();
    EXPECT_EQ(device.value("name").toString(), "Second");
    EXPECT_EQ(device.value("addresses").toArray(), QJsonArray{second.listenAddress()});
    EXPECT_TRUE(first.waitUntilConnected(second.deviceID()));
    EXPECT_TRUE(second.waitUntilConnected(first.deviceID()));
}

TEST(SyncthingInstanceIntegrationTest, EverythingThatCouldLeaveLoopbackIsOff)
{
    SyncthingInstance instance(QStringLiteral("127.0.0.3"));
    instance.start();
    const QJsonObject options = instance.get("/rest/config/options").json().object();
    EXPECT_EQ(options.value("listenAddresses").toArray(), QJsonArray{instance.listenAddress()});
    for (const char *name : {"globalAnnounceEnabled", "localAnnounceEnabled", "relaysEnabled", "natEnabled",
                             "crashReportingEnabled", "startBrowser"})
        EXPECT_EQ(options.value(name), QJsonValue(false)) << name;
    EXPECT_EQ(options.value("urAccepted"), QJsonValue(-1));
    EXPECT_EQ(options.value("autoUpgradeIntervalH"), QJsonValue(0));
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

} // namespace
} // namespace tw
