// A first sync of a tree of 5,000 directories from one Syncthing to another,
// with the event poller of the receiving side putting the directories' times
// back: the longest stall of the main thread meanwhile, and the reads of the
// receiving Syncthing the restore made (counted from its own API trace).

#include "controllers/DirectoryTimeKeeper.h"
#include "controllers/EventController.h"
#include "engine/syncthing/SyncthingEngine.h"

#include "AwaitTask.h"
#include "BenchSupport.h"
#include "SyncthingInstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>
#include <qcoro/qcorofuture.h>
#include <qcoro/qcorotimer.h>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

using namespace tw;
using namespace tw::bench;
using namespace std::chrono_literals;

constexpr int kTop = 50;
constexpr int kPerTop = 99;  // 50 + 50 * 99 = 5,000 directories
const QString kFolder = QStringLiteral("tdw-bench-dirs");

// Directories of the sender get times of their own, an hour apart from the
// time of the sync, so that a restored time can be told from a fresh one.
void makeTree(const QString &root)
{
    for (int top = 0; top < kTop; ++top) {
        for (int sub = 0; sub < kPerTop; ++sub)
            require(QDir().mkpath(QStringLiteral("%1/t%2/s%3").arg(root).arg(top).arg(sub)), "make a directory");
    }
    QDirIterator it(root, QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    const struct timespec times[2] = {{0, UTIME_OMIT}, {1'600'000'000, 0}};
    while (it.hasNext())
        ::utimensat(AT_FDCWD, QFile::encodeName(it.next()).constData(), times, 0);
}

struct Count
{
    int directories = 0;
    int restored = 0;  // with the sender's time
};

Count countTree(const QString &root)
{
    Count count;
    QDirIterator it(root, QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        ++count.directories;
        count.restored += QFileInfo(it.next()).lastModified().toSecsSinceEpoch() == 1'600'000'000 ? 1 : 0;
    }
    return count;
}

// Counts off the main thread every half second until the receiver holds
// every directory (and, when asked, every one has its time back), or a
// minute and a half has passed.
QCoro::Task<Count> waitForTree(QString root, bool restored)
{
    constexpr int all = kTop * (kPerTop + 1);
    Count count;
    for (int i = 0; i < 180; ++i) {
        co_await QCoro::sleepFor(500ms);
        count = co_await QtConcurrent::run(&countTree, root);
        if (count.directories >= all && (!restored || count.restored >= all))
            break;
    }
    co_return count;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    SyncthingInstance sender(QStringLiteral("127.0.0.1"), QStringLiteral("sender"));
    SyncthingInstance::Settings settings;
    settings.host = QStringLiteral("127.0.0.2");
    settings.name = QStringLiteral("receiver");
    settings.extraEnvironment.insert(QStringLiteral("STTRACE"), QStringLiteral("api"));
    SyncthingInstance receiver(settings);
    sender.start();
    receiver.start();
    sender.pairWith(receiver);
    // The tree is there, with its times, before the sender first scans it.
    makeTree(sender.root() + QStringLiteral("/folders/") + kFolder);
    sender.putFolder(kFolder, {receiver.deviceID()});
    require(sender.waitUntilIndexed(kFolder, kTop * (kPerTop + 1)), "index the sender's tree");

    auto engine = receiver.makeEngine();
    awaitTask(engine->start());
    EventController events(*engine);
    const QString target = receiver.root() + QStringLiteral("/folders/") + kFolder;
    QTemporaryDir records;
    DirectoryTimeKeeper keeper(*engine, events, records.path());
    keeper.setFolderLookup([target](const QString &) {
        return std::optional(DirectoryTimeKeeper::Folder{.root = target, .carries = false});
    });
    keeper.setOwnDeviceLookup([&receiver] { return receiver.deviceID(); });
    events.start();

    // The main thread's pulse: a timer every 5 ms, and the longest gap.
    QElapsedTimer pulse;
    qint64 longestGapNs = 0;
    QTimer beat;
    QObject::connect(&beat, &QTimer::timeout, [&] {
        longestGapNs = std::max(longestGapNs, pulse.nsecsElapsed());
        pulse.restart();
    });
    const qint64 offset = QFileInfo(logPath(receiver)).size();
    QElapsedTimer total;
    total.start();
    pulse.start();
    beat.start(5);
    receiver.putFolder(kFolder, {sender.deviceID()});
    awaitTask(waitForTree(target, false));
    const double syncSeconds = total.nsecsElapsed() / 1e9;
    // The restore follows the burst after a quiet second.
    const Count after = awaitTask(waitForTree(target, true));
    const double restoredSeconds = total.nsecsElapsed() / 1e9;
    beat.stop();
    const std::map<QString, Traced> traced = tracedRequests(logPath(receiver), offset);
    const auto reads = [&traced](const char *what) {
        const auto found = traced.find(QString::fromLatin1(what));
        return found == traced.end() ? 0 : found->second.count;
    };

    std::printf("First sync of %d directories between two Syncthings\n", kTop * (kPerTop + 1));
    std::printf("  all directories there: %.1f s; all times back: %.1f s\n", syncSeconds, restoredSeconds);
    std::printf("  longest main-thread stall: %.1f ms (beat every 5 ms)\n", longestGapNs / 1e6);
    std::printf("  directory-time restore reads: %d GET /rest/db/browse, %d GET /rest/db/file\n",
                reads("GET /rest/db/browse"), reads("GET /rest/db/file"));
    std::printf("  directories with the sender's time afterwards: %d of %d\n", after.restored, after.directories);
    return 0;
}
