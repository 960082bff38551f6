#pragma once

#include "controllers/PendingDirectoryRestores.h"
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
// connection changes and pending offers, and restores a directory's
// modification time after the engine has updated it in a send-receive folder.
// Main thread only.
class EventController : public QObject
{
    Q_OBJECT
    Q_PROPERTY(tw::CompletionMap completion READ completion NOTIFY completionChanged)

public:
    using Callback = std::function<void()>;
    using FolderModeLookup = std::function<std::optional<FolderSyncMode>(const QString &folderID)>;
    using FolderPathLookup = std::function<std::optional<QString>(const QString &folderID)>;
    // Whether a folder's directories carry their times to the other
    // computers (the folder syncs extended attributes).
    using FolderCarriesTimesLookup = std::function<bool(const QString &folderID)>;

    static constexpr std::chrono::milliseconds idlePause{1000};
    // Directory times are put back once a folder's pull is over and no item
    // has finished for this long, or after this many such waits however busy
    // the stream (a folder still pulling waits on).
    static constexpr std::chrono::milliseconds restoreQuiet{1000};
    static constexpr int restoreMaxWaits = 30;
    static constexpr qsizetype maxRestoresRemembered = 100000;
    // How long before reporting it the engine may have made a directory,
    // for a pull whose start went untold.
    static constexpr std::chrono::milliseconds madeBeforeReport{1000};
    // File times come from the kernel's coarse clock, up to a tick behind the
    // one the engine stamps its events with.
    static constexpr std::chrono::milliseconds fileClockLag{100};

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
    void setFolderMode(FolderModeLookup lookup) { m_folderMode = std::move(lookup); }
    void setFolderPath(FolderPathLookup lookup) { m_folderPath = std::move(lookup); }
    void setFolderCarriesTimes(FolderCarriesTimesLookup lookup) { m_carriesTimes = std::move(lookup); }
    // Where the directories still to be restored are kept across runs; in
    // memory only until set.
    void setPendingRestoresFile(const QString &file) { m_pending = PendingDirectoryRestores(file); }
    const PendingDirectoryRestores &pendingRestores() const { return m_pending; }
    // Gives the directories of a folder that a pull moved here before this
    // process could put their times back (it ended first) the times they
    // carry. Runs off the main thread; the caller knows the folder is there.
    QCoro::Task<void> retryPendingRestores(QString folderID);

    // Ends the running loop (if any) and starts a new one from event ID 0.
    // Call it again after the engine has been restarted: a new engine counts
    // its events from 1 again.
    void start();
    // Ends the running loop (if any) and the engine's long poll in flight;
    // nothing of that loop is handled any more.
    void stop();

    // Where a folder-relative item lies under a folder's root; absent for a
    // root that is not absolute and for an item that could lead outside the
    // root (an absolute path or a "..").
    static std::optional<QString> itemLocation(const QString &root, const QString &item);

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
    // The directory times of a folder's last burst of updates have been put
    // back (where they differed).
    void directoryTimesRestored(const QString &folderID);
    // Directories whose content changed here were given their own time to
    // carry, and the engine asked to scan them.
    void directoryTimesStamped(const QString &folderID, const QStringList &paths);

private:
    static QCoro::Task<void> pollLoop(QPointer<EventController> self, quint64 generation, SyncEngine *engine,
                                      Sleeper sleeper);
    // The directories a folder's pulls moved the times of, and the times the
    // teammates' records give them, read while the pull ran.
    struct DueRestore
    {
        QString root;
        QSet<QString> paths;
        QHash<QString, qint64> recorded;
        // When the pulls began, by the engine's events; a directory whose
        // time is older was not moved by them and keeps it.
        std::optional<qint64> movedSinceMs;
        // Its directories carry their times: no record is read.
        bool carried = false;
        bool reading = false;     // a read of the records is under way
        bool readAgain = false;   // something noted since it began needs another
        bool indexMoved = false;  // a peer's index came since the last read began
        // Files the pulls placed: a scan that reports one of them again
        // tells of no save made here.
        QSet<QString> placed;
    };
    static QCoro::Task<void> restoreAfterBursts(QPointer<EventController> self, Sleeper sleeper);
    static QCoro::Task<void> readRecordedTimes(QPointer<EventController> self, SyncEngine *engine, QString folderID);
    // Answers the paths that need no restore any more.
    static QCoro::Task<QStringList> restoreDirectoryTimes(DueRestore due);
    static QCoro::Task<void> stampNotedDirectories(QPointer<EventController> self, SyncEngine *engine);
    bool carriesTimes(const QString &folderID) const { return m_carriesTimes && m_carriesTimes(folderID); }
    bool restoreDue(const QString &folderID, const QString &path) const;
    void noteRestored(const QString &folderID, const DueRestore &due);
    bool stampsDue() const;
    void rememberStamps(const QString &folderID, const QHash<QString, qint64> &times);
    // What one pass of stamping a folder did.
    struct StampPass
    {
        QHash<QString, qint64> written;  // each directory written, with the time it now carries
        QSet<QString> putBack;           // stamps put back where a pull took them away
        QSet<QString> superseded;        // stamps not put back: a teammate's other time is there
    };
    static StampPass stampTimes(const QString &root, const QStringList &changed, const QStringList &maybeNew,
                                const QHash<QString, QString> &savedInto, const QHash<QString, qint64> &stripped);
    void settleRestamps(const QString &folderID, const StampPass &pass);
    void forgetStamp(const QString &folderID, const QString &path);
    // A file changed here counts as a save into its directory whose restore
    // was or is due only if the pulls did not place it and it was born after
    // they began (not a maker's file in a directory it dated back).
    bool placedByPull(const QString &folderID, const QString &item);
    static bool bornSince(const QString &root, const QString &item, std::optional<qint64> pullBegan);
    std::optional<qint64> pullBeganFor(const QString &folderID, const QString &directory) const;
    // A peer's index for the folder came: records read before may be old.
    void noteIndexMoved(const QString &folderID);
    // Starts a read of the records for each folder that noted what needs one.
    void readNotedTimes();
    // Read, and the folder's pull over.
    bool restoreReady(const QString &folderID) const;
    // When the pull that finished an item began, as far as the events tell.
    std::optional<qint64> pullStart(const SyncEvent &event) const;

    bool isCurrent(quint64 generation) const { return m_generation == generation; }
    void handleBatch(const QList<SyncEvent> &events);
    void handle(const SyncEvent &event);
    void handleFolderEvent(const SyncEvent &event);
    void handleDeviceEvent(const SyncEvent &event);
    void handleItemFinished(const SyncEvent &event);
    void handleLocalChange(const SyncEvent &event);
    void startStamping();
    void forwardSaves(const QString &folderID);
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
    FolderModeLookup m_folderMode;
    FolderPathLookup m_folderPath;
    FolderCarriesTimesLookup m_carriesTimes;
    PendingDirectoryRestores m_pending;
    // Directories to stamp, per folder, those to stamp if new here, and
    // whether a stamping runs.
    QHash<QString, QSet<QString>> m_stampsDue;
    QHash<QString, QSet<QString>> m_newDirectoriesDue;
    // Per folder, directory → a file made in it here while its restore was
    // due; then, once restored, those to move on to that file's birth.
    QHash<QString, QHash<QString, QString>> m_savedWhileDue;
    QHash<QString, QHash<QString, QString>> m_savesForward;
    // Per folder, the directories a restore put back since a change here
    // was last seen in them, and the files the pulls placed there: a file
    // made before the restore, whose scan comes after it, had its
    // directory's move put back.
    // Each directory with when its pulls began, where the events told it.
    QHash<QString, QHash<QString, std::optional<qint64>>> m_restoredDirs;
    QHash<QString, QSet<QString>> m_placedFiles;
    // Per folder, the times this computer stamped, and those a pull took
    // away that are to be put back.
    QHash<QString, QHash<QString, qint64>> m_stampedHere;
    QHash<QString, QHash<QString, qint64>> m_restampsDue;
    bool m_stamping = false;
    qint64 m_lastID = 0;
    quint64 m_generation = 0;
    QHash<QString, DueRestore> m_dueRestores;
    // Folders whose pull is under way, as their state events last told.
    QSet<QString> m_pulling;
    QHash<QString, qint64> m_pullStarted;  // when each folder's pull last began
    quint64 m_restoresNoted = 0;
    bool m_restoring = false;  // restoreAfterBursts runs
};

} // namespace tw
