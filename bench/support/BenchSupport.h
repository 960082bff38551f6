#pragma once

#include "SyncthingInstance.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>

namespace tw {
class FakeSyncEngine;
}

namespace tw::bench {

// Ends the benchmark with a message when its setup failed.
void require(bool ok, const char *what);
// Ends it unless TIDEWELL_LOOPBACK_ONLY=1 is set.
void requireLoopbackOnly();
// Draws offscreen unless a platform was chosen; before the application is
// made.
void drawOffscreen();

QByteArray compact(const QJsonValue &value);

// Creates `count` folders "tdw-00000000"... under the instance's root, each
// shared with this device and the given peers, in one configuration write.
void addFolders(SyncthingInstance &instance, int count, const QStringList &peers = {});

// Adds `count` made-up devices, paused and with an address where nothing
// listens, named from the letter `first` on; answers their IDs.
QStringList addPausedDevices(SyncthingInstance &instance, int count, char first = 'A');

// Prints "median …, worst …" of the values, in the unit given.
// The Macs as devices of the fake engine, each connected directly from a
// loopback address.
void addConnectedMacs(FakeSyncEngine &engine, const QStringList &macs);

void printMedianAndWorst(const char *name, QList<double> values, const char *unit);

// This process's CPU seconds so far, and its resident size.
double cpuSecondsOfSelf();
double rssMegabytes();
// The calling thread's CPU time so far, in milliseconds.
double threadCpuMs();
// The CPU seconds of the Syncthing processes serving the home: monitor and
// child together.
double cpuSecondsOfHome(const QString &home);
// Runs the event loop for that long.
void runFor(double minutes);
// Pauses or resumes a device in the instance's configuration.
void setPaused(SyncthingInstance &instance, const QString &device, bool paused);

// The Syncthing log of the instance (with STTRACE=api it lists each request).
QString logPath(const SyncthingInstance &instance);

struct Traced
{
    int count = 0;
    double serverMs = 0;  // as Syncthing measured its own handling
};

// Requests Syncthing traced after the given log offset, by method and path.
std::map<QString, Traced> tracedRequests(const QString &path, qint64 offset);

// One stretch of idling: this process's CPU, Syncthing's, and what was asked
// of Syncthing, by endpoint.
struct CostWindow
{
    double minutes = 0;
    double appCpuPercent = 0;
    double syncthingCpuPercent = 0;
    std::map<QString, Traced> requests;
};

// Runs the event loop for that long; Syncthing's CPU seconds come from the
// given reader, its requests from its log.
CostWindow measureCost(double minutes, const std::function<double()> &syncthingCpuSeconds, const QString &log);
// Prints the window's CPU, RSS and requests per minute; answers the total
// requests per minute.
double printCost(const char *title, const CostWindow &window);

} // namespace tw::bench
