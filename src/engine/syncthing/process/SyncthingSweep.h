#pragma once

#include "utilities/Sleeper.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <chrono>
#include <qcoro/qcorotask.h>
#include <sys/types.h>

namespace tw {

// Finds and ends the Syncthing processes serving one home folder.
//
// Syncthing runs as a monitor and a child, both with the same argument vector;
// a SIGKILLed monitor leaves its child running and holding the database lock.
// Processes are therefore matched on their exact arguments, read from
// /proc/<pid>/cmdline, never with a command-line regular expression (which
// would also match every home whose path starts with this one). Only the
// current user's processes are considered.
class SyncthingSweep
{
public:
    static constexpr int termRounds = 30;
    static constexpr std::chrono::milliseconds roundInterval{200};

    // True for "…/syncthing serve … --home <home> …", the program's basename
    // being exactly "syncthing".
    static bool servesHome(const QStringList &arguments, const QString &home);

    // The argument vector of a process; empty when it is gone, a zombie or unreadable.
    static QStringList commandLine(pid_t pid);
    // Every process of the current user, as listed in /proc.
    static QList<pid_t> ownProcesses();
    // The current user's processes serving the home.
    static QList<pid_t> processesServing(const QString &home);

    // Sends the signal to every process of the home; no waiting.
    static void signalHome(const QString &home, int signal);

    // SIGTERM to every process of the home, then up to termRounds polls
    // roundInterval apart until none is left; survivors get SIGKILL and a few
    // more polls. Every wait goes through the sleeper.
    static QCoro::Task<void> terminate(QString home, Sleeper sleeper);
    // SIGKILL to every process of the home, then the same polls.
    static QCoro::Task<void> kill(QString home, Sleeper sleeper);

    // The same as terminate(), blocking the calling thread: for clean-up
    // where no event loop runs.
    static void terminateBlocking(const QString &home);

private:
    static void signalAll(const QList<pid_t> &pids, int signal);
    static QCoro::Task<bool> awaitGone(QString home, Sleeper sleeper, int rounds);
    static bool blockUntilGone(const QString &home, int rounds);
};

} // namespace tw
