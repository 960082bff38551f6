#pragma once

#include "utilities/Clock.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>

#include <qcoro/qcorotask.h>

namespace tw {

class DeviceController;
class EventController;
class FolderController;
class SyncEngine;

// Keeps the folder and device controllers current from the engine's event
// stream, so that the polling cycle asks Syncthing only about what changed.
// Folder summaries and state changes go to the folder controller as they
// arrive; configuration and device events mark the lists for reading; a gap
// in the stream makes the next cycle read everything. Completions come as
// events and are read once when a device connects, and the cluster needs are
// worked out from what the controllers hold. The connections are read for
// their rates only while a transfer is possible. Main thread only; create it
// once, before the event poller starts.
class LiveStateFeed : public QObject
{
    Q_OBJECT
public:
    LiveStateFeed(SyncEngine &engine, EventController &events, FolderController &folders, DeviceController &devices,
                  Clock clock = systemClock(), QObject *parent = nullptr);
    // The device controller may outlive it: its check goes too.
    ~LiveStateFeed() override;

    // How long a device's connecting or a transfer's progress report keeps
    // the connections read every cycle.
    static constexpr std::chrono::seconds activityWindow{10};
    // A folder syncing or scanning, a connected device that still needs
    // something, a rate above 0, or a connection or transfer report just now.
    bool transferPossible() const;

private:
    void updateClusterNeeds();
    // Reads the completions of connected devices not read since they
    // connected, or of the one device given.
    void readNewCompletions(const QString &connectedDevice = QString());
    static QCoro::Task<void> readCompletions(QPointer<LiveStateFeed> self, QList<std::pair<QString, QString>> pairs);

    SyncEngine &m_engine;
    EventController &m_events;
    FolderController &m_folders;
    DeviceController &m_devices;
    QSet<QString> m_completionsRead;
    Clock m_clock;
    std::optional<QDateTime> m_lastActivity;
};

} // namespace tw
