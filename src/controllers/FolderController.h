#pragma once

#include "engine/model/ClusterNeed.h"
#include "engine/model/FolderStatus.h"
#include "engine/model/SyncFolder.h"
#include "utilities/Clock.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>
#include <chrono>
#include <exception>
#include <functional>
#include <optional>

#include <qcoro/qcorotask.h>

namespace tw {

class SyncEngine;

using FolderStatusMap = QMap<QString, FolderStatus>;
using ClusterNeedMap = QMap<QString, ClusterNeed>;
using FolderTextMap = QMap<QString, QString>;

// The live mirror of the engine's folders: the folders the user may see (the
// hidden team-configuration folder left out), their last known statuses, the
// error texts of folders in error or failing items, what connected peers
// still need and the item each syncing folder is transferring. Main thread
// only; no operation throws, and nothing runs unless a caller awaits an
// operation.
class FolderController : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QList<tw::SyncFolder> folders READ folders NOTIFY foldersChanged)
    Q_PROPERTY(tw::FolderStatusMap statuses READ statuses NOTIFY statusesChanged)
    Q_PROPERTY(tw::ClusterNeedMap clusterNeeds READ clusterNeeds NOTIFY clusterNeedsChanged)
    Q_PROPERTY(tw::FolderTextMap transferring READ transferring NOTIFY transferringChanged)
    Q_PROPERTY(tw::FolderTextMap folderErrors READ folderErrors NOTIFY folderErrorsChanged)
    Q_PROPERTY(std::optional<QString> lastErrorMessage READ lastErrorMessage NOTIFY lastErrorMessageChanged)
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)

public:
    // Folders whose ID begins with this carry the team configuration and are
    // never shown.
    static inline const QString hiddenFolderPrefix = QStringLiteral("tdw-cluster-");

    // While events are followed, the light reload reads everything again at
    // least this often, in case the stream missed something unnoticed; with
    // many folders less often, so that this check costs at most one status
    // read per folder per perFolderReadInterval.
    static constexpr std::chrono::minutes fullReadInterval{5};
    static constexpr std::chrono::seconds perFolderReadInterval{3};

    explicit FolderController(SyncEngine &engine, Clock clock = systemClock(), QObject *parent = nullptr);

    const QList<SyncFolder> &folders() const { return m_folders; }
    const FolderStatusMap &statuses() const { return m_statuses; }
    const ClusterNeedMap &clusterNeeds() const { return m_clusterNeeds; }
    const FolderTextMap &transferring() const { return m_transferring; }
    const FolderTextMap &folderErrors() const { return m_folderErrors; }
    const std::optional<QString> &lastErrorMessage() const { return m_lastErrorMessage; }
    // How many failures setError() has reported: a screen that remembers the
    // count it opened with tells a new failure from an old one, also in the same words.
    int operationErrorCount() const { return m_operationErrors; }
    bool isLoading() const { return m_isLoading; }

    // The stored status, or an unknown one with all numbers 0.
    FolderStatus status(const QString &folderID) const;

    // Full reload: the folder list, then everything refreshStatuses() does.
    QCoro::Task<void> refresh();
    // The polling loop's light reload: the list (kept when unchanged or when
    // the engine fails), then refreshStatuses(). While events are followed it
    // reads only what the events left open.
    QCoro::Task<void> syncFolderList();
    // Statuses, error texts, cluster needs (while events are followed, left
    // to the live-state feed) and transfer names of the listed folders.
    QCoro::Task<void> refreshStatuses();
    // The statuses (and error texts) of the listed folders among those given
    // only: a drive that came or went changes nothing else.
    QCoro::Task<void> refreshStatusesOf(QStringList folderIDs);
    // Deletes the engine's archive directory inside a listed folder.
    QCoro::Task<void> emptyArchive(QString folderID);
    // Restore archived copies, named by the engine's own path and time texts
    // (several as path → time). A failure becomes the last error and the
    // folder's restore failure; the next restore of that folder that works
    // takes it back, whichever screen started either, unless another failure
    // came since.
    QCoro::Task<void> restoreArchived(QString folderID, QString path, QString versionTime);
    QCoro::Task<void> restoreArchivedBatch(QString folderID, QMap<QString, QString> mapping);
    // Runs an operation of a screen's whose failure becomes the last error,
    // kept under `operation` (what it does, to which folder): a later run
    // under the same name that works takes that failure back, unless another
    // failure came since. A page open for minutes would otherwise keep
    // telling a failure a later success has mended. True when it worked.
    QCoro::Task<bool> runRetracting(QString operation, std::function<QCoro::Task<void>()> run);

    // Keeps the error's text as the last error; returns its place in the
    // count of failures, by which withdrawError() finds it again.
    int setError(const std::exception &error);
    // An operation that succeeded after that failure takes it back: the last
    // error goes, unless another failure (or another text) came since.
    void withdrawError(int failure);

    static bool isHidden(const QString &folderID);

    // What the engine's event stream tells. followEvents() switches the light
    // reload to reading only where these leave something open; the owner
    // forwards each event as it arrives.
    void followEvents();
    void applySummary(const FolderStatus &status);
    void applyState(const QString &folderID, FolderState from, FolderState to, const QString &toWord);
    void applyPaused(const QString &folderID, bool paused);
    // Syncthing counts a folder for its summary before it tells another
    // Mac's completion, so an index that came in between is in the one and
    // not the other: a folder counted empty is read again.
    void notePeerIndexMoved(const QString &folderID);
    // Folders whose status is out of date: to be read, or being read.
    QSet<QString> unreadStatuses() const { return m_statusOpen + m_statusReading; }
    void noteConfigSaved();
    // The stream missed something, or the engine started again: the next
    // light reload reads everything.
    void noteStreamGap();
    // Cluster needs worked out from the events, in place of the engine's.
    void applyClusterNeeds(ClusterNeedMap needs);
    // Every folder of the engine's last read list, the hidden ones included.
    const QList<SyncFolder> &engineFolders() const { return m_engineFolders; }

signals:
    void foldersChanged();
    void statusesChanged();
    void clusterNeedsChanged();
    void transferringChanged();
    void folderErrorsChanged();
    void lastErrorMessageChanged();
    void isLoadingChanged();
    // A light reload has read everything again (the start, a gap, the
    // periodic check).
    void fullReadFinished();

private:
    bool isListed(const QString &folderID) const;
    QCoro::Task<void> refreshFolderErrors();
    QMap<QString, qint64> itemErrorCounts() const;
    QCoro::Task<FolderTextMap> readEngineErrors();
    QCoro::Task<void> readItemErrors();
    void keepItemErrors(const QMap<QString, qint64> &counts, FolderTextMap errors);
    QCoro::Task<void> refreshTransferring();
    QCoro::Task<void> fullReload();
    QCoro::Task<void> refreshStatusParts(bool readClusterNeeds);
    QCoro::Task<void> eventDrivenReload();
    QCoro::Task<void> readStatuses(QStringList folderIDs);
    void touch(const QString &folderID);
    bool fullReadDue() const;
    void setListedFolders(QList<SyncFolder> folders);
    void setStatuses(FolderStatusMap statuses);
    void folderErrorsFromStatuses();

    void setFolders(QList<SyncFolder> folders);
    void setClusterNeeds(ClusterNeedMap needs);
    void setFolderErrors(FolderTextMap errors);
    void setLastErrorMessage(std::optional<QString> message);
    void setLoading(bool loading);

    SyncEngine &m_engine;
    Clock m_clock;
    QList<SyncFolder> m_engineFolders;
    QList<SyncFolder> m_folders;
    FolderStatusMap m_statuses;
    ClusterNeedMap m_clusterNeeds;
    FolderTextMap m_transferring;
    FolderTextMap m_folderErrors;
    std::optional<QString> m_lastErrorMessage;
    int m_operationErrors = 0;
    std::optional<QString> m_operationErrorText;
    // Each operation's last failure, by its place in the count of failures.
    QMap<QString, int> m_operationFailures;
    bool m_isLoading = false;

    // Event-driven reading.
    bool m_followsEvents = false;
    bool m_fullReadDue = true;
    bool m_listStale = true;
    std::optional<QDateTime> m_lastFullRead;
    QSet<QString> m_statusOpen;     // folders whose status must be read
    QSet<QString> m_statusReading;  // of those, the ones a light reload reads now
    QSet<QString> m_awaitingIdle;   // resumed folders: read at their first idle
    // Which event last changed a folder's status, so that a read answered
    // after a newer event does not put back what the event replaced.
    quint64 m_eventSerial = 0;
    QMap<QString, quint64> m_touchedAt;
    // Running folders that failed items: how many at the last read of their
    // texts, and those texts.
    QMap<QString, qint64> m_itemErrorCounts;
    FolderTextMap m_itemErrors;
};

} // namespace tw
