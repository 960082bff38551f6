// This Mac's sync controllers on a running Syncthing, in a process of their
// own that ends itself with SIGKILL at a chosen point: the kill test starts it,
// lets it die, starts it again and compares the stores with Syncthing.
//
//   tidewell_killable_syncs <data root> <defaults file> start|edits|pause-all
//
// "start" runs the start-up reconcile only; "edits" then goes through a fixed
// series of edits of the syncs (folders added, switched off and on, a sync
// paused and resumed, user lines and a protection line written, a folder and
// a sync removed, a removed path added again, a folder removed while its
// engine folder is made, everything paused, edited and an offer accepted
// meanwhile, and resumed);
// "pause-all" pauses everything and ends itself with SIGKILL once done.
//
// Environment:
//   KILL_ENDPOINT, KILL_API_KEY  the Syncthing REST interface to drive
//   KILL_AT    "commit-before:N", "commit-after:N" (the N-th commit of
//              projects.json or defaults.json), "write:N" (before the N-th
//              request to Syncthing that is not a GET) or "answer:N" (once
//              Syncthing answered it, before the answer is read); none: run
//              to the end
//   KILL_LOG   a folder: each committed store is copied there as
//              "<count>-<name>", and "counts" holds "<commits> <writes>" at
//              a clean end
//
// The points are found without any help from the code under test: the stores
// commit through QSaveFile, whose last step is rename() (or linkat() when no
// file was there), and the REST client writes its requests as plain HTTP on
// a socket; this executable's own definitions of those calls come first.

#include "controllers/EngineController.h"
#include "engine/syncthing/SyncthingEngine.h"
#include "engine/syncthing/process/SyncthingProcess.h"
#include "projects/ProjectController.h"
#include "utilities/UserDefaults.h"

#include "AwaitTask.h"
#include "WaitUntil.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <cstring>
#include <functional>
#include <thread>
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

enum class KillKind { None, CommitBefore, CommitAfter, Write, Answer };

struct KillPlan
{
    KillKind kind = KillKind::None;
    int at = 0;
};

KillPlan planFromEnvironment()
{
    const char *text = std::getenv("KILL_AT");
    if (!text)
        return {};
    const QString plan = QString::fromUtf8(text);
    const int number = plan.section(QLatin1Char(':'), 1).toInt();
    if (plan.startsWith(QLatin1String("commit-before:")))
        return {KillKind::CommitBefore, number};
    if (plan.startsWith(QLatin1String("commit-after:")))
        return {KillKind::CommitAfter, number};
    if (plan.startsWith(QLatin1String("write:")))
        return {KillKind::Write, number};
    if (plan.startsWith(QLatin1String("answer:")))
        return {KillKind::Answer, number};
    return {};
}

const KillPlan plan = planFromEnvironment();
std::atomic<int> commits{0};
std::atomic<int> writes{0};
// The socket whose next answer ends the process.
std::atomic<int> answerSocket{-1};
// Armed, the next request that makes an engine folder runs `whileMade` on
// the main thread, and its answer is read only once that has run: a user's
// edit made while Syncthing takes the request.
std::atomic<bool> madeArmed{false};
std::atomic<int> madeSocket{-1};
std::atomic<bool> whileMadeRan{false};
std::function<void()> whileMade;

[[noreturn]] void die()
{
    ::kill(::getpid(), SIGKILL);
    std::abort();
}

bool isStore(const char *path)
{
    const char *name = std::strrchr(path, '/');
    name = name ? name + 1 : path;
    return std::strcmp(name, "projects.json") == 0 || std::strcmp(name, "defaults.json") == 0;
}

void logCommit(const char *path, int count)
{
    const char *folder = std::getenv("KILL_LOG");
    if (!folder)
        return;
    const QString copy = QString::fromUtf8(folder) + QStringLiteral("/%1-").arg(count, 3, 10, QLatin1Char('0')) +
                         QFileInfo(QString::fromUtf8(path)).fileName();
    QFile::copy(QString::fromUtf8(path), copy);
}

int beforeCommit()
{
    const int count = ++commits;
    if (plan.kind == KillKind::CommitBefore && plan.at == count)
        die();
    return count;
}

void afterCommit(const char *path, int count)
{
    logCommit(path, count);
    if (plan.kind == KillKind::CommitAfter && plan.at == count)
        die();
}

bool startsWith(const void *data, size_t length, const char *text)
{
    const size_t size = std::strlen(text);
    return length >= size && std::memcmp(data, text, size) == 0;
}

void runWhileMade()
{
    whileMade();
    whileMadeRan = true;
}

// A request line of the REST client: every method but GET changes Syncthing.
void watchRequest(int socket, const void *data, size_t length)
{
    static const char *const verbs[] = {"PUT /rest/", "POST /rest/", "PATCH /rest/", "DELETE /rest/"};
    for (const char *verb : verbs) {
        if (!startsWith(data, length, verb))
            continue;
        const int count = ++writes;
        if (count == plan.at && plan.kind == KillKind::Write)
            die();
        if (count == plan.at && plan.kind == KillKind::Answer)
            answerSocket = socket;
        if (startsWith(data, length, "PUT /rest/config/folders/") && madeArmed.exchange(false)) {
            madeSocket = socket;
            QMetaObject::invokeMethod(qApp, &runWhileMade, Qt::QueuedConnection);
        }
        return;
    }
}

// Before the client reads from a socket. It reads on Qt's network thread,
// so the main thread is free meanwhile to run `whileMade`.
void awaitWhileMade(int socket)
{
    if (socket < 0 || socket != madeSocket)
        return;
    while (!whileMadeRan)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    madeSocket = -1;
}

// What the client read from a socket: the first bytes of an answer mean
// Syncthing has carried out the request.
ssize_t watchAnswer(int socket, ssize_t received)
{
    if (received > 0 && socket >= 0 && socket == answerSocket)
        die();
    return received;
}

template <typename F>
F real(const char *name)
{
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" {

int rename(const char *from, const char *to)
{
    static const auto next = real<int (*)(const char *, const char *)>("rename");
    if (!isStore(to))
        return next(from, to);
    const int count = beforeCommit();
    const int result = next(from, to);
    if (result == 0)
        afterCommit(to, count);
    return result;
}

int linkat(int fromDir, const char *from, int toDir, const char *to, int flags)
{
    static const auto next = real<int (*)(int, const char *, int, const char *, int)>("linkat");
    // Only a link straight to the store's name commits; one to a temporary
    // name is followed by rename().
    if (!isStore(to) || ::faccessat(toDir, to, F_OK, AT_SYMLINK_NOFOLLOW) == 0)
        return next(fromDir, from, toDir, to, flags);
    const int count = beforeCommit();
    const int result = next(fromDir, from, toDir, to, flags);
    if (result == 0)
        afterCommit(to, count);
    return result;
}

ssize_t send(int socket, const void *data, size_t length, int flags)
{
    static const auto next = real<ssize_t (*)(int, const void *, size_t, int)>("send");
    watchRequest(socket, data, length);
    return next(socket, data, length, flags);
}

ssize_t sendto(int socket, const void *data, size_t length, int flags, const sockaddr *to, socklen_t toLength)
{
    static const auto next =
        real<ssize_t (*)(int, const void *, size_t, int, const sockaddr *, socklen_t)>("sendto");
    watchRequest(socket, data, length);
    return next(socket, data, length, flags, to, toLength);
}

ssize_t write(int fd, const void *data, size_t length)
{
    static const auto next = real<ssize_t (*)(int, const void *, size_t)>("write");
    watchRequest(fd, data, length);
    return next(fd, data, length);
}

ssize_t read(int fd, void *data, size_t length)
{
    static const auto next = real<ssize_t (*)(int, void *, size_t)>("read");
    awaitWhileMade(fd);
    return watchAnswer(fd, next(fd, data, length));
}

ssize_t recv(int socket, void *data, size_t length, int flags)
{
    static const auto next = real<ssize_t (*)(int, void *, size_t, int)>("recv");
    awaitWhileMade(socket);
    return watchAnswer(socket, next(socket, data, length, flags));
}

} // extern "C"

namespace tw {
namespace {

struct Rig
{
    QString root;
    UserDefaults defaults;
    SyncthingEngine engine;
    ProjectController syncs;
    EngineController engineState;

    // "Pause all" reaches the syncs through the engine's run policy, which
    // the engine controller keeps.
    Rig(const QString &dataRoot, const QString &defaultsFile)
        : root(dataRoot),
          defaults(defaultsFile),
          engine(std::make_shared<SyncthingProcess>(AppPaths(dataRoot + QStringLiteral("/unused"))), realSleeper()),
          syncs(engine, AppPaths(dataRoot), defaults),
          engineState(engine, defaults)
    {
        engine.attachEndpoint(QUrl(qEnvironmentVariable("KILL_ENDPOINT")), qEnvironmentVariable("KILL_API_KEY"));
    }

    Project sync(const QString &name) const
    {
        for (const Project &project : syncs.projects())
            if (project.name == name)
                return project;
        return {};
    }

    ProjectFolder folder(const QString &syncName, const QString &label) const
    {
        for (const ProjectFolder &folder : sync(syncName).folders)
            if (folder.label == label)
                return folder;
        return {};
    }

    QString engineID(const QString &syncName, const QString &label) const
    {
        return folder(syncName, label).syncthingFolderID.value_or(QString());
    }

    // A teammate's offer of its own folder "<sync> — a4", named as a pass
    // there names it.
    PendingFolder offerFrom(const QString &syncName) const
    {
        for (const ProjectMember &member : sync(syncName).members)
            if (!member.isOwnDevice)
                return {QStringLiteral("tdw-0ffe12ed"), syncName + QStringLiteral(" \u2014 a4"), member.deviceID,
                        member.displayName};
        return {};
    }

    QString path(const QString &syncName, const QString &label) const
    {
        return root + QStringLiteral("/folders/") + syncName + QLatin1Char('/') + label;
    }
};

// As the application starts: one reconcile when there is anything to do.
void startUp(Rig &rig)
{
    if (rig.syncs.hasWork())
        awaitTask(rig.syncs.reconcileAll());
}

void edits(Rig &rig)
{
    ProjectController &syncs = rig.syncs;
    const QString alpha = rig.sync(QStringLiteral("Alpha")).id;
    awaitTask(syncs.addFolder(alpha, rig.path(QStringLiteral("Alpha"), QStringLiteral("a3")), std::nullopt, true));
    // Lines of the user's own, which the folder's .stignore keeps after the
    // engine folder goes.
    const QStringList own{QStringLiteral("*.tmp")};
    const QString a2 = rig.engineID(QStringLiteral("Alpha"), QStringLiteral("a2"));
    awaitTask(syncs.writeIgnoresBySyncthingID(a2, own));

    const QString beta = rig.sync(QStringLiteral("Beta")).id;
    const QString b1 = rig.folder(QStringLiteral("Beta"), QStringLiteral("b1")).id;
    awaitTask(syncs.setFolderSyncEnabled(beta, b1, false));
    awaitTask(syncs.setFolderSyncEnabled(beta, b1, true));

    const QString gamma = rig.sync(QStringLiteral("Gamma")).id;
    awaitTask(syncs.setProjectPaused(gamma, true));
    awaitTask(syncs.setProjectPaused(gamma, false));

    const QString a1 = rig.engineID(QStringLiteral("Alpha"), QStringLiteral("a1"));
    awaitTask(syncs.addPurgeProtection(a1, QStringLiteral("/sub")));

    awaitTask(syncs.removeFolder(alpha, rig.folder(QStringLiteral("Alpha"), QStringLiteral("a2")).id));
    awaitTask(syncs.addFolder(alpha, rig.path(QStringLiteral("Alpha"), QStringLiteral("a2")), std::nullopt, false));

    // Removed while Syncthing makes its engine folder: the record has no
    // engine ID yet. It has none to wait for, so it ends at once.
    whileMade = [&rig, gamma] {
        (void)rig.syncs.removeFolder(gamma, rig.folder(QStringLiteral("Gamma"), QStringLiteral("g3")).id);
    };
    madeArmed = true;
    const QString g3 = rig.path(QStringLiteral("Gamma"), QStringLiteral("g3"));
    awaitTask(syncs.addFolder(gamma, g3, std::nullopt, false));

    // Everything paused; meanwhile a sync is paused and resumed, a folder
    // added and a teammate's offer accepted into a folder the placing sheet
    // made, all of which wait for the resume of everything.
    awaitTask(rig.engineState.toggleAllPaused());
    awaitTask(syncs.setProjectPaused(gamma, true));
    awaitTask(syncs.setProjectPaused(gamma, false));
    awaitTask(syncs.addFolder(gamma, g3, std::nullopt, false));
    const QString a4 = rig.path(QStringLiteral("Alpha"), QStringLiteral("a4"));
    QDir().mkpath(a4);
    awaitTask(syncs.acceptIncomingFolder(rig.offerFrom(QStringLiteral("Alpha")), a4, alpha, std::nullopt, false));
    awaitTask(rig.engineState.toggleAllPaused());

    syncs.remove(rig.sync(QStringLiteral("Beta")));
    waitUntil([&rig] { return !rig.defaults.stringList(ProjectController::owedRemovalsKey); }, 20000);
}

void writeCounts()
{
    const char *folder = std::getenv("KILL_LOG");
    if (!folder)
        return;
    QFile counts(QString::fromUtf8(folder) + QStringLiteral("/counts"));
    if (counts.open(QIODevice::WriteOnly))
        counts.write(QByteArray::number(commits.load()) + ' ' + QByteArray::number(writes.load()));
}

} // namespace
} // namespace tw

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 4)
        return 2;
    tw::Rig rig(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]));
    tw::startUp(rig);
    if (std::strcmp(argv[3], "edits") == 0)
        tw::edits(rig);
    if (std::strcmp(argv[3], "pause-all") == 0) {
        tw::awaitTask(rig.engineState.toggleAllPaused());
        die();
    }
    tw::writeCounts();
    return 0;
}
