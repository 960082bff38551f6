#pragma once

#include "engine/SyncEngine.h"
#include "engine/syncthing/rest/STFolderRead.h"
#include "engine/syncthing/rest/STConnectionsResponse.h"
#include "engine/syncthing/rest/STFolderStatus.h"
#include "engine/syncthing/rest/STVersioning.h"
#include "engine/syncthing/rest/SyncthingAPI.h"
#include "engine/syncthing/process/SyncthingProcess.h"
#include "utilities/AsyncMutex.h"
#include "utilities/Sleeper.h"

#include <QElapsedTimer>
#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace tw {

// The engine adapter over Syncthing: runs it as a child process through
// SyncthingProcess and drives it over its REST interface.
//
// Every operation that needs the REST interface copies the current client
// into its own frame at its start (so stop() dropping the client never pulls
// the network manager from under an awaited reply) and fails with notRunning
// while there is none. It keeps no copy of Syncthing's configuration: each
// read goes to Syncthing.
class SyncthingEngine : public SyncEngine
{
    Q_OBJECT
public:
    // The application's engine on the standard paths (loopback-only when
    // TIDEWELL_LOOPBACK_ONLY=1).
    explicit SyncthingEngine(AppPaths paths, QObject *parent = nullptr);
    SyncthingEngine(std::shared_ptr<SyncthingProcess> process, Sleeper sleeper, QObject *parent = nullptr);
    ~SyncthingEngine() override;

    static const QString kEngineName;  // "Syncthing"
    // The most failed items of a folder read in one answer (a few megabytes
    // of text); a longer list is read in part.
    static constexpr int failuresRead = 20'000;

    QString engineName() const override { return kEngineName; }

    QCoro::Task<void> start() override;
    QCoro::Task<void> stop() override;
    QCoro::Task<void> resetDatabase() override;
    QCoro::Task<EngineStatus> status() override;

    QCoro::Task<QString> localDeviceID() override;
    QCoro::Task<QString> localDeviceName() override;
    QCoro::Task<void> setLocalDeviceName(QString name) override;

    QCoro::Task<QList<SyncFolder>> folders() override;
    QCoro::Task<SyncFolder> addFolder(NewFolderRequest request) override;
    QCoro::Task<void> removeFolder(QString id) override;
    QCoro::Task<QStringList> ignorePatterns(QString folderID) override;
    QCoro::Task<void> updateIgnorePatterns(QString folderID, QStringList patterns) override;
    QCoro::Task<QList<BrowseEntry>> browse(QString folderID, QString prefix) override;
    QCoro::Task<void> setFolderMetadata(QString folderID, bool enabled) override;
    QCoro::Task<void> setVersioning(QString folderID, VersioningPolicy policy) override;
    QCoro::Task<void> setFolderPaused(QString id, bool paused) override;
    QCoro::Task<void> setFolderLabel(QString id, QString label) override;
    QCoro::Task<QString> folderType(QString id) override;
    QCoro::Task<void> setFolderType(QString id, QString type) override;
    QCoro::Task<void> rescanFolder(QString id) override;
    QCoro::Task<void> scanFolder(QString id) override;
    QCoro::Task<void> scanPaths(QString id, QStringList paths) override;
    QCoro::Task<void> scanAllFolders() override;
    QCoro::Task<void> applySyncedXattrFilter(QString folderID) override;
    QCoro::Task<std::optional<qint64>> directoryModified(QString folderID, QString path) override;
    QCoro::Task<QHash<QString, qint64>> directoryTimes(QString folderID) override;
    QCoro::Task<std::optional<ItemOrigin>> itemOrigin(QString folderID, QString path) override;
    QCoro::Task<std::optional<QJsonObject>> fileRecord(QString folderID, QString path);

    QCoro::Task<QList<ArchivedVersion>> archivedVersions(QString folderID) override;
    QCoro::Task<void> restoreArchived(QString folderID, QString path, QString versionTime) override;
    QCoro::Task<void> restoreArchivedBatch(QString folderID, QMap<QString, QString> mapping) override;

    QCoro::Task<FolderStatus> folderStatus(QString id) override;
    QCoro::Task<QMap<QString, ClusterNeed>> clusterNeeds() override;
    QCoro::Task<double> deviceCompletion(QString folderID, QString deviceID) override;
    QCoro::Task<PeerCompletion> peerCompletion(QString folderID, QString deviceID) override;
    QCoro::Task<std::optional<QString>> currentTransferName(QString folderID) override;

    QCoro::Task<QList<SyncDevice>> devices() override;
    QCoro::Task<SyncDevice> addDevice(NewDeviceRequest request) override;
    QCoro::Task<void> setDevicePaused(QString deviceID, bool paused) override;
    QCoro::Task<void> setDeviceIntroducer(QString deviceID, bool introducer) override;
    QCoro::Task<QList<DeviceConnection>> connections() override;
    QCoro::Task<void> shareFolder(QString folderID, QString deviceID) override;
    QCoro::Task<void> changeFolder(SyncFolder listed, FolderChange change) override;
    QCoro::Task<void> unshareFolder(QString folderID, QString deviceID) override;
    QCoro::Task<QList<PendingDevice>> pendingDevices() override;
    QCoro::Task<QList<PendingFolder>> pendingFolders() override;
    QCoro::Task<void> dismissPendingDevice(QString id) override;
    QCoro::Task<void> dismissPendingFolder(QString folderID, QString fromDeviceID) override;
    QCoro::Task<void> setAllPaused(bool paused) override;

    QCoro::Task<NetworkSettings> networkSettings() override;
    QCoro::Task<void> applyNetworkSettings(NetworkSettings settings) override;
    QCoro::Task<void> setGlobalBandwidth(qint64 downKbps, qint64 upKbps) override;
    QCoro::Task<CumulativeBytes> cumulativeBytes() override;

    QCoro::Task<QList<SyncEvent>> events(qint64 since) override;
    QCoro::Task<QList<SyncEvent>> diskEvents(qint64 since, int waitSeconds) override;
    void cancelEvents() override;

    QCoro::Task<QString> diagnosticsReport() override;
    QCoro::Task<QList<FolderDiagStatus>> diagnosticsStatus() override;
    QCoro::Task<QMap<QString, QString>> recentFolderErrors() override;
    QCoro::Task<bool> isPairedDevice(QString deviceID) override;

    // Wire records to model types and back; pure, never failing.
    static SyncFolder mapFolder(const STFolderRead &folder);
    static STVersioning mapVersioning(const VersioningPolicy &policy);
    static VersioningPolicy mapVersioningBack(const std::optional<STVersioning> &versioning);
    static FolderState mapState(const std::optional<QString> &state);
    static FolderStatus mapStatus(const QString &id, const STFolderStatus &status);

    // Syncthing's "modified" text (fraction optional, zone required) as whole
    // seconds since 1970.
    static std::optional<qint64> parseSyncthingModified(const QString &text);
    // The events of one long-poll answer; anything unreadable gives none.
    static QList<SyncEvent> parseEvents(const QByteArray &body);
    // The first 7 characters of a device ID, shown where a device has no name.
    static QString shortID(const QString &deviceID);
    // What a folder's error text says of the items Syncthing could not sync:
    // the first one's path and Syncthing's reason, and how many more failed.
    static QString itemErrorText(const QString &path, const QString &error, qint64 count);
    // Whether Syncthing's reason for an item it could not sync is only that
    // no connected device has the version it needs.
    static bool waitsForDevice(const QString &error);
    // Whether that reason is only the drive refusing the item's extended
    // attributes ("Listxattr …: operation not supported").
    static bool xattrsRefused(const QString &error);
    // Whether a completion's remote state says the device takes part in the
    // folder.
    static bool takesPart(const std::optional<QString> &remoteState);

    // The supervisor, for tests and the application's exit sweep.
    SyncthingProcess &process() { return *m_process; }
    // Counts as started on a REST endpoint that something else serves, with
    // no child launched: lets tests put a stand-in server behind the engine.
    void attachEndpoint(QUrl baseURL, QString apiKey) { m_api.emplace(std::move(baseURL), std::move(apiKey)); }
    // How long one connections answer serves later asks.
    void setConnectionsReuse(std::chrono::milliseconds window) { m_connectionsReuse = window; }

private:
    // One item Syncthing lists as failed in a folder.
    struct ItemFailure
    {
        QString path;
        QString error;
    };
    // The items of a folder that really failed: the first one listed, and
    // how many there are.
    struct FailedItems
    {
        std::optional<ItemFailure> first;
        qint64 count = 0;
    };
    // A folder's failed items as last read, with Syncthing's count then.
    struct ReadFailures
    {
        qint64 listedCount = 0;
        FailedItems items;
        QElapsedTimer age;
    };
    // One answer of Syncthing's list of a folder's failed items: the real
    // failures in it and how many items it listed.
    struct FailuresPage
    {
        FailedItems failures;
        qint64 listed = 0;
    };
    // The items Syncthing lists as failed in a folder, less those that only
    // wait for a device, read in one answer; none when it cannot be read.
    // `listedCount` is Syncthing's own count: while it holds, the last
    // reading is reused.
    QCoro::Task<std::optional<FailedItems>> itemFailures(SyncthingAPI api, QString folderID, qint64 listedCount);
    // The first `failuresRead` items of the list.
    QCoro::Task<std::optional<FailuresPage>> failuresPage(SyncthingAPI api, QString folderID);
    // Reads one page of Syncthing's list, on a pool thread.
    static std::optional<FailuresPage> readFailuresPage(const QByteArray &body);
    // The status with only the items that really failed counted.
    QCoro::Task<FolderStatus> withoutWaitingItems(SyncthingAPI api, FolderStatus status);
    // The current client, copied, or notRunning.
    SyncthingAPI requireAPI() const;
    QCoro::Task<void> startAttempt(quint64 generation);
    // A start that a stop or reset overtook must leave the child to them:
    // throws notRunning once the lifecycle generation has moved on.
    void requireGeneration(quint64 generation) const;
    QCoro::Task<STConnectionsResponse> sharedConnections();
    void forgetConnections();
    QCoro::Task<void> updateFolderDevices(QString folderID, std::function<void(QStringList &)> edit);
    // The device entries of a folder's patch, each written whole: kept
    // devices keep what they had, new ones come direct and unencrypted.
    // The settings of a change (all but its devices) as one folder patch.
    static QJsonObject settingsPatch(const FolderChange &change);
    static QList<STDeviceRef> editedDevices(const QList<STDeviceRef> &folderDevices, const QStringList &editedIDs);
    // The folder's device entries as last listed, or read now when that
    // listing no longer matches the IDs the caller saw.
    QCoro::Task<QList<STDeviceRef>> listedDevices(SyncthingAPI api, SyncFolder listed);

    // Shared so that a test fixture can hand its running supervisor to an engine.
    std::shared_ptr<SyncthingProcess> m_process;
    Sleeper m_sleeper;
    std::optional<SyncthingAPI> m_api;
    std::optional<QString> m_cachedLocalID;
    std::optional<QString> m_lastError;
    // Counts stops and resets; a start only acts for the generation it began in.
    quint64 m_generation = 0;
    // Folder writes that make a folder or set its devices or its pause, one
    // at a time, and pausing or resuming everything after them: a write
    // asked before the pause of everything lands before its listing, one
    // asked after it reads the run policy once it is done.
    AsyncMutex m_folderDevicesMutex;
    // Each folder's device entries from the last folder list read or device
    // edit, so that changes made from one listing need not read it again.
    QHash<QString, QList<STDeviceRef>> m_listedDevices;
    // Per folder ID: a restore's check of the archive and its request, one at
    // a time, so two restores of one version cannot both pass the check.
    std::map<QString, AsyncMutex> m_restoreMutexes;
    // Every events() poll in flight is tied to this object; destroying it
    // aborts them.
    std::unique_ptr<QObject> m_eventsScope = std::make_unique<QObject>();
    std::optional<STConnectionsResponse> m_connections;
    quint64 m_connectionsGeneration = 0;
    QElapsedTimer m_connectionsAge;
    std::chrono::milliseconds m_connectionsReuse{1000};
    // Per folder ID; a new pull (a change of state) forgets its entry.
    QHash<QString, ReadFailures> m_readFailures;
};

} // namespace tw
