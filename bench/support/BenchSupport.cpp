#include "BenchSupport.h"
#include <sys/resource.h>
#include <QTimer>
#include <QEventLoop>

#include "FakeSyncEngine.h"
#include "MadeUpDeviceID.h"

#include "engine/syncthing/process/SyncthingProcess.h"
#include "engine/syncthing/process/SyncthingSweep.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <unistd.h>

namespace tw::bench {

void require(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "setup failed: %s\n", what);
        std::exit(1);
    }
}

void requireLoopbackOnly()
{
    require(qEnvironmentVariable("TIDEWELL_LOOPBACK_ONLY") == QLatin1String("1"), "TIDEWELL_LOOPBACK_ONLY=1");
}

void drawOffscreen()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

void printMedianAndWorst(const char *name, QList<double> values, const char *unit)
{
    std::sort(values.begin(), values.end());
    std::printf("  %-44s median %7.2f %s, worst %7.2f %s\n", name, values[values.size() / 2], unit, values.last(),
                unit);
}

QByteArray compact(const QJsonValue &value)
{
    return value.isArray() ? QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact)
                           : QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
}

void addFolders(SyncthingInstance &instance, int count, const QStringList &peers)
{
    QJsonArray devices{QJsonObject{{"deviceID", instance.deviceID()}}};
    for (const QString &peer : peers)
        devices.append(QJsonObject{{"deviceID", peer}});
    QJsonArray folders;
    for (int i = 0; i < count; ++i) {
        const QString id = QStringLiteral("tdw-%1").arg(i, 8, 16, QLatin1Char('0'));
        const QString path = instance.root() + QStringLiteral("/folders/") + id;
        QDir().mkpath(path);
        folders.append(QJsonObject{{"id", id}, {"label", id}, {"path", path}, {"type", "sendreceive"},
                                   {"devices", devices}});
    }
    require(instance.put(QStringLiteral("/rest/config/folders"), compact(folders)).ok(), "folders");
}

QStringList addPausedDevices(SyncthingInstance &instance, int count, char first)
{
    QStringList ids;
    for (int i = 0; i < count; ++i) {
        const QString id = madeUpDeviceID(first + i);
        const QJsonObject device{{"deviceID", id}, {"name", QStringLiteral("peer %1").arg(i)},
                                 {"addresses", QJsonArray{"tcp://127.0.0.1:9"}}, {"paused", true}};
        require(instance.put(QStringLiteral("/rest/config/devices/") + id, compact(device)).ok(), "device");
        ids.append(id);
    }
    return ids;
}

double cpuSecondsOfSelf()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double threadCpuMs()
{
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

double cpuSecondsOfHome(const QString &home)
{
    double seconds = 0;
    for (const pid_t pid : SyncthingSweep::processesServing(home)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        seconds += (fields.value(11).toDouble() + fields.value(12).toDouble()) / double(sysconf(_SC_CLK_TCK));
    }
    return seconds;
}

double rssMegabytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return 0;
}

void runFor(double minutes)
{
    QEventLoop loop;
    QTimer::singleShot(int(minutes * 60'000), &loop, &QEventLoop::quit);
    loop.exec();
}

void setPaused(SyncthingInstance &instance, const QString &device, bool paused)
{
    const QJsonObject patch{{"paused", paused}};
    require(instance.request("PATCH", QStringLiteral("/rest/config/devices/") + device, compact(patch), instance.apiKey()).ok(),
            "pause");
}

QString logPath(const SyncthingInstance &instance)
{
    return instance.home() + QLatin1Char('/') + SyncthingProcess::logFileName;
}

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
        // One line per endpoint, not per folder or device.
        static const QRegularExpression item(QStringLiteral(R"(^(/rest/config/(folders|devices)/).+$)"));
        QString path = match.captured(2);
        path.replace(item, QStringLiteral("\\1{id}"));
        Traced &entry = traced[match.captured(1) + QLatin1Char(' ') + path];
        ++entry.count;
        entry.serverMs += match.captured(3).toDouble();
    }
    return traced;
}

CostWindow measureCost(double minutes, const std::function<double()> &syncthingCpuSeconds, const QString &log)
{
    const qint64 offset = QFileInfo(log).size();
    const double app0 = cpuSecondsOfSelf();
    const double st0 = syncthingCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    runFor(minutes);
    const double seconds = wall.nsecsElapsed() / 1e9;
    CostWindow window;
    window.minutes = seconds / 60.0;
    window.appCpuPercent = 100.0 * (cpuSecondsOfSelf() - app0) / seconds;
    window.syncthingCpuPercent = 100.0 * (syncthingCpuSeconds() - st0) / seconds;
    window.requests = tracedRequests(log, offset);
    return window;
}

double printCost(const char *title, const CostWindow &window)
{
    std::printf("\n%s (%.1f min)\n", title, window.minutes);
    std::printf("  application CPU %.3f %%, RSS %.1f MB, Syncthing CPU %.3f %%\n", window.appCpuPercent,
                rssMegabytes(), window.syncthingCpuPercent);
    double total = 0;
    for (const auto &[what, entry] : window.requests) {
        std::printf("  %-44s %8.1f requests/min\n", qPrintable(what), entry.count / window.minutes);
        total += entry.count;
    }
    return total / window.minutes;
}

void addConnectedMacs(FakeSyncEngine &engine, const QStringList &macs)
{
    for (const QString &mac : macs) {
        engine.state.devices.append(SyncDevice{.id = mac, .name = mac.left(7)});
        DeviceConnection connection;
        connection.id = mac;
        connection.connected = true;
        connection.address = QStringLiteral("127.0.0.2:22000");
        connection.connectionType = QStringLiteral("tcp-client");
        engine.state.connections.append(connection);
    }
}

} // namespace tw::bench
