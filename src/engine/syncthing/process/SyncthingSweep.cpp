#include "engine/syncthing/process/SyncthingSweep.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace tw {

namespace {

// Polls after SIGKILL: the kernel ends the process at once, so this only
// covers the moment until it is reaped or turns into a zombie.
constexpr int killRounds = 10;

} // namespace

bool SyncthingSweep::servesHome(const QStringList &arguments, const QString &home)
{
    if (arguments.size() < 4 || home.isEmpty())
        return false;
    if (QFileInfo(arguments.at(0)).fileName() != QLatin1String("syncthing"))
        return false;
    if (arguments.at(1) != QLatin1String("serve"))
        return false;
    for (qsizetype i = 2; i + 1 < arguments.size(); ++i) {
        if (arguments.at(i) == QLatin1String("--home") && arguments.at(i + 1) == home)
            return true;
    }
    return false;
}

QStringList SyncthingSweep::commandLine(pid_t pid)
{
    QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray raw = file.readAll();
    if (raw.endsWith('\0'))
        raw.chop(1);
    if (raw.isEmpty())
        return {};
    QStringList arguments;
    for (const QByteArray &part : raw.split('\0'))
        arguments.append(QString::fromLocal8Bit(part));
    return arguments;
}

QList<pid_t> SyncthingSweep::ownProcesses()
{
    const uid_t me = ::geteuid();
    QList<pid_t> pids;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool numeric = false;
        const pid_t pid = entry.toInt(&numeric);
        if (!numeric || pid <= 0)
            continue;
        struct stat info {};
        const QByteArray path = QByteArrayLiteral("/proc/") + entry.toLatin1();
        if (::stat(path.constData(), &info) == 0 && info.st_uid == me)
            pids.append(pid);
    }
    return pids;
}

QList<pid_t> SyncthingSweep::processesServing(const QString &home)
{
    QList<pid_t> matches;
    for (pid_t pid : ownProcesses()) {
        if (pid != ::getpid() && servesHome(commandLine(pid), home))
            matches.append(pid);
    }
    return matches;
}

void SyncthingSweep::signalAll(const QList<pid_t> &pids, int signal)
{
    for (pid_t pid : pids)
        ::kill(pid, signal);
}

void SyncthingSweep::signalHome(const QString &home, int signal)
{
    signalAll(processesServing(home), signal);
}

QCoro::Task<bool> SyncthingSweep::awaitGone(QString home, Sleeper sleeper, int rounds)
{
    for (int round = 0; round < rounds; ++round) {
        if (processesServing(home).isEmpty())
            co_return true;
        co_await sleeper(roundInterval);
    }
    co_return processesServing(home).isEmpty();
}

QCoro::Task<void> SyncthingSweep::terminate(QString home, Sleeper sleeper)
{
    const QList<pid_t> found = processesServing(home);
    if (found.isEmpty())
        co_return;
    signalAll(found, SIGTERM);
    if (co_await awaitGone(home, sleeper, termRounds))
        co_return;
    co_await kill(home, sleeper);
}

QCoro::Task<void> SyncthingSweep::kill(QString home, Sleeper sleeper)
{
    const QList<pid_t> found = processesServing(home);
    if (found.isEmpty())
        co_return;
    signalAll(found, SIGKILL);
    co_await awaitGone(home, sleeper, killRounds);
}

bool SyncthingSweep::blockUntilGone(const QString &home, int rounds)
{
    for (int round = 0; round < rounds; ++round) {
        if (processesServing(home).isEmpty())
            return true;
        std::this_thread::sleep_for(roundInterval);
    }
    return processesServing(home).isEmpty();
}

void SyncthingSweep::terminateBlocking(const QString &home)
{
    const QList<pid_t> found = processesServing(home);
    if (found.isEmpty())
        return;
    signalAll(found, SIGTERM);
    if (blockUntilGone(home, termRounds))
        return;
    signalAll(processesServing(home), SIGKILL);
    blockUntilGone(home, killRounds);
}

} // namespace tw
