// Sharing one folder with 20 devices, one after another, on a Syncthing that
// holds 200 folders: the time each share takes and the requests Syncthing
// receives for it (counted from its own API trace in its log).

#include "engine/syncthing/SyncthingEngine.h"

#include "AwaitTask.h"
#include "MadeUpDeviceID.h"
#include "SyncthingInstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <map>

namespace {

using namespace tw;

constexpr int kFolders = 200;
constexpr int kDevices = 20;

QByteArray compact(const QJsonValue &value)
{
    return value.isArray() ? QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact)
                           : QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
}

void require(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "setup failed: %s\n", what);
        std::exit(1);
    }
}

void addFolders(SyncthingInstance &instance)
{
    QJsonArray folders;
    for (int i = 0; i < kFolders; ++i) {
        const QString id = QStringLiteral("tdw-%1").arg(i, 8, 16, QLatin1Char('0'));
        const QString path = instance.root() + QStringLiteral("/folders/") + id;
        QDir().mkpath(path);
        folders.append(QJsonObject{{"id", id}, {"label", id}, {"path", path}, {"type", "sendreceive"},
                                   {"devices", QJsonArray{QJsonObject{{"deviceID", instance.deviceID()}}}}});
    }
    require(instance.put(QStringLiteral("/rest/config/folders"), compact(folders)).ok(), "folders");
}

QStringList addDevices(SyncthingInstance &instance)
{
    QStringList ids;
    for (int i = 0; i < kDevices; ++i) {
        const QString id = madeUpDeviceID('A' + i);
        const QJsonObject device{{"deviceID", id}, {"name", QStringLiteral("peer %1").arg(i)},
                                 {"addresses", QJsonArray{"tcp://127.0.0.1:9"}}, {"paused", true}};
        require(instance.put(QStringLiteral("/rest/config/devices/") + id, compact(device)).ok(), "device");
        ids.append(id);
    }
    return ids;
}

QString logPath(SyncthingInstance &instance)
{
    return instance.home() + QLatin1Char('/') + SyncthingProcess::logFileName;
}

struct Traced
{
    int count = 0;
    double serverMs = 0;  // as Syncthing measured its own handling
};

// Requests Syncthing traced after the given log offset, by method and path.
std::map<QString, Traced> tracedRequests(const QString &path, qint64 offset)
{
    QFile log(path);
    std::map<QString, Traced> traced;
    if (!log.open(QIODevice::ReadOnly) || !log.seek(offset))
        return traced;
    static const QRegularExpression line(QStringLiteral(R"(http: (\w+) "([^"?]*)[^"]*".* in ([0-9.]+) ms)"));
    for (const QString &text : QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'))) {
        const auto match = line.match(text);
        if (!match.hasMatch())
            continue;
        Traced &entry = traced[match.captured(1) + QLatin1Char(' ') + match.captured(2)];
        ++entry.count;
        entry.serverMs += match.captured(3).toDouble();
    }
    return traced;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    SyncthingInstance::Settings settings;
    // Syncthing logs every API request it serves.
    settings.extraEnvironment.insert(QStringLiteral("STTRACE"), QStringLiteral("api"));
    SyncthingInstance instance(settings);
    instance.start();
    addFolders(instance);
    const QStringList devices = addDevices(instance);
    const QString target = QStringLiteral("tdw-%1").arg(kFolders / 2, 8, 16, QLatin1Char('0'));
    const qint64 folderListBytes = instance.get(QStringLiteral("/rest/config/folders")).body.size();

    auto engine = instance.makeEngine();
    awaitTask(engine->start());
    awaitTask(engine->localDeviceID());

    QThread::msleep(500);
    const qint64 offset = QFileInfo(logPath(instance)).size();
    QList<double> times;
    QElapsedTimer total;
    total.start();
    for (const QString &device : devices) {
        QElapsedTimer one;
        one.start();
        awaitTask(engine->shareFolder(target, device));
        times.append(one.nsecsElapsed() / 1e6);
    }
    const double totalMs = total.nsecsElapsed() / 1e6;
    QThread::msleep(500);
    const auto traced = tracedRequests(logPath(instance), offset);

    qsizetype shared = 0;
    for (const SyncFolder &folder : awaitTask(engine->folders())) {
        if (folder.id == target)
            shared = folder.sharedDeviceIDs.size();
    }
    std::sort(times.begin(), times.end());
    std::printf("Sharing one folder with %d devices on a Syncthing holding %d folders\n", kDevices, kFolders);
    std::printf("  folder list answer: %lld bytes\n", static_cast<long long>(folderListBytes));
    std::printf("  total: %.1f ms; per share: min %.1f, median %.1f, max %.1f ms\n", totalMs, times.first(),
                times.at(times.size() / 2), times.last());
    int requests = 0;
    for (const auto &[what, entry] : traced) {
        std::printf("  %-40s %d requests, %.1f ms in Syncthing\n", qPrintable(what), entry.count, entry.serverMs);
        requests += entry.count;
    }
    std::printf("  requests: %d (%.1f per share)\n", requests, double(requests) / kDevices);
    std::printf("  devices of the folder afterwards: %lld (expected %d)\n", static_cast<long long>(shared),
                kDevices + 1);
    return shared == kDevices + 1 ? 0 : 1;
}
