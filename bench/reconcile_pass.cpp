// One reconcile pass over 100 syncs of 2 folders and 5 members each against a
// real Syncthing: wall time and the requests Syncthing receives (from its own
// API trace), for the first pass that creates every folder and for a pass
// with nothing to change.

#include "projects/ProjectController.h"
#include "utilities/UserDefaults.h"

#include "AwaitTask.h"
#include "BenchSupport.h"
#include "MadeUpDeviceID.h"
#include "SyncthingInstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <map>

namespace {

using namespace tw;
using namespace tw::bench;

constexpr int kSyncs = 100;
constexpr int kFoldersPerSync = 2;
constexpr int kMembers = 5;


void addSyncs(ProjectController &projects, const QString &root, const QString &me, const QStringList &peers)
{
    for (int s = 0; s < kSyncs; ++s) {
        Project sync{.id = QStringLiteral("S%1").arg(s), .name = QStringLiteral("Sync %1").arg(s)};
        sync.members.append({me, QStringLiteral("Me"), MemberRole::Editor, true, false});
        for (const QString &peer : peers)
            sync.members.append({peer, peer.left(7)});
        for (int f = 0; f < kFoldersPerSync; ++f) {
            const QString path = QStringLiteral("%1/s%2f%3").arg(root).arg(s).arg(f);
            require(QDir().mkpath(path), "folder");
            sync.folders.append({.id = QStringLiteral("F%1").arg(f), .label = QStringLiteral("Folder %1").arg(f),
                                 .localPath = path, .ignorePatterns = {QStringLiteral(".DS_Store")}});
        }
        projects.add(sync);
    }
}

struct Figures
{
    double ms = 0;
    std::map<QString, int> requests;  // "METHOD path" with IDs folded
};

Figures measure(SyncthingInstance &instance, ProjectController &projects)
{
    QThread::msleep(500);
    const qint64 offset = QFileInfo(logPath(instance)).size();
    QElapsedTimer timer;
    timer.start();
    awaitTask(projects.reconcileAll());
    Figures figures{.ms = timer.nsecsElapsed() / 1e6, .requests = {}};
    QThread::msleep(500);
    static const QRegularExpression folderID(QStringLiteral("tdw-[0-9a-f]{8}"));
    static const QRegularExpression deviceID(QStringLiteral("[A-Z2-7]{7}(-[A-Z2-7]{7}){7}"));
    for (const auto &[what, entry] : tracedRequests(logPath(instance), offset)) {
        QString key = what;
        key.replace(folderID, QStringLiteral("<folder>")).replace(deviceID, QStringLiteral("<device>"));
        figures.requests[key] += entry.count;
    }
    return figures;
}

void print(const char *title, const Figures &figures, const ProjectController &projects)
{
    int total = 0;
    int writes = 0;
    int filterPatches = 0;
    std::printf("%s: %.0f ms\n", title, figures.ms);
    for (const auto &[what, count] : figures.requests) {
        std::printf("  %-50s %d\n", qPrintable(what), count);
        total += count;
        if (what == QStringLiteral("PATCH /rest/config/folders/<folder>"))
            filterPatches += count;
        else if (!what.startsWith(QStringLiteral("GET ")))
            writes += count;
    }
    std::printf("  requests: %d; folder PATCHes (filter and other): %d; other writes: %d\n", total, filterPatches,
                writes);
    std::printf("  summary: %s\n", qPrintable(projects.lastReconcileSummary().value_or(QStringLiteral("-"))));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    SyncthingInstance::Settings settings;
    settings.extraEnvironment.insert(QStringLiteral("STTRACE"), QStringLiteral("api"));
    SyncthingInstance instance(settings);
    instance.start();
    const QStringList peers = addPausedDevices(instance, kMembers);
    auto engine = instance.startedEngine();
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath(QStringLiteral("defaults.json")));
    ProjectController projects(*engine, AppPaths(dir.path() + QStringLiteral("/app")), defaults);
    addSyncs(projects, dir.path(), instance.deviceID(), peers);

    std::printf("One reconcile pass: %d syncs x %d folders x %d members (plus this Mac)\n", kSyncs, kFoldersPerSync,
                kMembers);
    print("first pass (creates)", measure(instance, projects), projects);
    print("steady state", measure(instance, projects), projects);
    print("steady state again", measure(instance, projects), projects);
    qsizetype folders = awaitTask(engine->folders()).size();
    std::printf("engine folders afterwards: %lld (expected %d)\n", static_cast<long long>(folders),
                kSyncs * kFoldersPerSync);
    return folders == kSyncs * kFoldersPerSync ? 0 : 1;
}
