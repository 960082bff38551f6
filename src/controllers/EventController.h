#pragma once

#include "engine/model/FolderSyncMode.h"
#include "engine/model/SyncEvent.h"
#include "utilities/Sleeper.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <functional>
#include <optional>
#include <utility>

#include <qcoro/qcorotask.h>

namespace tw {

class SyncEngine;

// Folder ID -> device ID -> completion percentage (0 to 100).
using CompletionMap = QMap<QString, QMap<QString, double>>;
// Folder ID -> device ID -> bytes that device still needs.
using RemoteNeedMap = QMap<QString, QMap<QString, qint64>>;
// Folder ID -> the other devices that have taken the folder and share it
// with this one, as their completion last told -> how far each one's index
// of it has come here (0: none of it yet).
using ParticipantMap = QMap<QString, QMap<QString, qint64>>;

// Follows the engine's event stream between polling cycles: keeps each
// folder's completion on each remote device, calls the owner back on device
// connection changes and pending offers, and tells what the engine's pulls
// and its scanner changed on disk, for the directory times. Both streams are
// read from the engine's start, so nothing it did before the first poll is
// missed. Main thread only.
class EventController : public QObject
{
    Q_OBJECT
    Q_PROPERTY(tw::CompletionMap completion READ completion NOTIFY completionChanged)

public:
    using Callback = std::function<void()>;
    static constexpr std::chrono::milliseconds idlePause{1000};
    // How long the poll of changes found on disk waits for one.
    static constexpr int diskPollSeconds = 10;

    explicit EventController(SyncEngine &engine, Sleeper sleeper = realSleeper(), QObject *parent = nullptr);
    // Stops the loop; the engine must still be there.
    ~EventController() override;

    const CompletionMap &completion() const { return m_completion; }
    // A value read while its device was away may be long out of date.
    enum class Freshness { Current, Outdated };
    // The owner's writes of completion (seeding and the polling cycles).
    void setCompletion(const QString &folderID, const QString &deviceID, double percent,
                       Freshness freshness = Freshness::Current);
    // Whether a current value has been written for the pair since the device
    // last connected: then the events keep it and nobody need ask the engine.
    bool completionCurrent(const QString &folderID, const QString &deviceID) const;
    // What each connected device still needs, as its completion reports told.
    const RemoteNeedMap &remoteNeedBytes() const { return m_remoteNeedBytes; }
    void setRemoteNeed(const QString &folderID, const QString &deviceID, qint64 needBytes);
    // Who takes part in each folder and how far each one's index has come;
    // told with each completion and changed as completionChanged.
    const ParticipantMap &participants() const { return m_participants; }
    void setTakesPart(const QString &folderID, const QString &deviceID, bool takesPart, qint64 indexSequence);

    // Installed by the owner before start(); each may stay empty. They are
    // called synchronously on the main thread and must return at once.
    void setOnPending(Callback callback) { m_onPending = std::move(callback); }
    void setOnDeviceChange(Callback callback) { m_onDeviceChange = std::move(callback); }
    // Ends the running loop (if any) and starts a new one from event ID 0.
    // Call it again after the engine has been restarted: a new engine counts
    // its events from 1 again.
    void start();
    // Ends the running loop (if any) and the engine's long poll in flight;
    // nothing of that loop is handled any more.
    void stop();
    // Reads at once the changes found on disk that the engine holds beyond
    // those handled, without waiting for new ones: what its scanner found
    // before a moment is then known to have been told.
    QCoro::Task<void> catchUpDisk();

signals:
    void completionChanged();
    void remoteNeedBytesChanged();
    // The events the live state follows, handed on as they arrive.
    void summaryArrived(const tw::FolderStatus &status);
    void folderStateArrived(const QString &folderID, tw::FolderState from, tw::FolderState to,
                            const QString &toWord);
    void folderPauseArrived(const QString &folderID, bool paused);
    // Another Mac's index of the folder has come further than was told.
    void peerIndexMoved(const QString &folderID);
    void configSaved();
    // A device connected, disconnected, was paused or resumed.
    void devicesChanged();
    void deviceConnected(const QString &deviceID);
    // Bytes of a file are moving to or from this device.
    void transferProgress();
    // The stream can no longer be trusted to have told everything: it started
    // over, an event ID was skipped, a poll failed or an event was unreadable.
    void streamGap();
    // A pull placed, replaced, removed or updated an item of a folder, at
    // atMs by this computer's clock where the engine said.
    void itemPulled(const QString &folderID, const QString &item, bool directory, bool deleted,
                    std::optional<qint64> atMs);
    // The engine's scanner found an item changed here (added, changed or
    // removed on this computer, or a directory's inode moved), told at
    // foundAtMs by this computer's clock where the engine said.
    void localChangeFound(const QString &folderID, const QString &item, bool directory, bool deleted,
                          std::optional<qint64> foundAtMs);
    // Changes found on disk may have gone untold: the stream started over
    // past its first, skipped one, or a poll failed.
    void diskStreamGap();

private:
    static QCoro::Task<void> pollLoop(QPointer<EventController> self, quint64 generation, SyncEngine *engine,
                                      Sleeper sleeper);
    static QCoro::Task<void> diskLoop(QPointer<EventController> self, quint64 generation, SyncEngine *engine,
                                      Sleeper sleeper);
    void handleDiskBatch(const QList<SyncEvent> &events);
    bool isCurrent(quint64 generation) const { return m_generation == generation; }
    void handleBatch(const QList<SyncEvent> &events);
    void handle(const SyncEvent &event);
    void handleFolderEvent(const SyncEvent &event);
    void handleDeviceEvent(const SyncEvent &event);
    void handleItemFinished(const SyncEvent &event);
    void noteGap();
    void removeDevice(const QString &deviceID);

    SyncEngine &m_engine;
    Sleeper m_sleeper;
    CompletionMap m_completion;
    // Order of the writes of m_completion and of devices connecting, so that
    // a value can tell whether it came after its device's last connection.
    quint64 m_completionSerial = 0;
    QHash<std::pair<QString, QString>, quint64> m_completionWrittenAt;
    QHash<QString, quint64> m_connectedAt;
    RemoteNeedMap m_remoteNeedBytes;
    ParticipantMap m_participants;
    Callback m_onPending;
    Callback m_onDeviceChange;
    qint64 m_lastID = 0;
    quint64 m_generation = 0;
    qint64 m_lastDiskID = 0;
};

} // namespace tw
