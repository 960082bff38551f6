#pragma once

#include "engine/SyncEngine.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <exception>
#include <functional>
#include <optional>
#include <type_traits>

namespace tw {

// An in-memory SyncEngine for controller and project tests.
//
// Tests arrange the engine's picture by writing `state` directly; operations
// read it and change it the way the real engine would change its own
// configuration (addFolder adds, shareFolder appends the device, ...).
// Operations without a part in `state` only log and answer an empty value.
// Every call is logged with its arguments as text, in call order, before
// anything else happens, so a failing call is logged too.
//
// Faults: a rule names an operation (or "*" for every operation) and the error
// to throw. Operations that never throw answer their neutral value instead of
// throwing, as the real engine does when it cannot get an answer. Faults are
// decided when the call is made; the error is thrown after `beforeAnswer`.
//
// Ignores of a folder ID that `state` does not list fail with an HTTP 404,
// sharing with an unknown folder with "Folder not found: <id>", as the real
// engine does.
class FakeSyncEngine : public SyncEngine
{
public:
    struct Call
    {
        QString operation;
        QStringList arguments;

        // "operation(arg1, arg2)"
        QString text() const;
    };

    struct State
    {
        EngineStatus status{false, std::nullopt, std::nullopt, QStringLiteral("Fake engine")};
        QString localDeviceID = QStringLiteral("LOCALID-AAAAAAA-BBBBBBB-CCCCCCC-DDDDDDD-EEEEEEE-FFFFFFF-GGGGGGG");

        QList<SyncFolder> folders;                              // ignorePatterns stay empty, as in real listings
        QMap<QString, QStringList> ignores;                     // folder ID -> ignore lines
        QMap<QString, QMap<QString, qint64>> directoryModified; // folder ID -> path -> seconds since 1970

        QMap<QString, FolderStatus> folderStatuses;  // folder ID -> status
        QMap<QString, ClusterNeed> clusterNeeds;
        QMap<QString, QString> currentTransferNames;  // folder ID -> item
        QMap<QString, QString> recentFolderErrors;

        QList<SyncDevice> devices;
        QList<DeviceConnection> connections;

        NetworkSettings network;
        CumulativeBytes cumulativeBytes;
        QList<SyncEvent> events;
    };

    using SyncEngine::SyncEngine;

    State state;
    QList<Call> calls;

    // Awaited by every operation after logging and before answering; lets a
    // test hold a call in flight (await a signal) or make it take time.
    std::function<QCoro::Task<void>(QString operation)> beforeAnswer;

    // The names of the operations as the call log writes them, in the
    // interface's order (engineName, a plain property, is not logged).
    static const QStringList &operationNames();

    // Every call's text, in order.
    QStringList callLog() const;
    // The operation names of every call, in order.
    QStringList callNames() const;
    // The call texts of one operation, in order.
    QStringList callsOf(const QString &operation) const;
    int callCount(const QString &operation) const;
    void clearCalls() { calls.clear(); }

    // The next call of the operation fails (once).
    template <typename Error>
    void failNext(const QString &operation, Error error) { addFault(operation, 0, true, toPointer(error)); }
    // Every call of the operation fails.
    template <typename Error>
    void failAlways(const QString &operation, Error error) { addFault(operation, 0, false, toPointer(error)); }
    // The n-th call (1-based, as callCount counts it) of the operation fails.
    template <typename Error>
    void failCall(const QString &operation, int n, Error error) { addFault(operation, n, true, toPointer(error)); }

    // Appends an event; an ID of 0 becomes one more than the highest so far.
    qint64 pushEvent(SyncEvent event);

    QString engineName() const override { return QStringLiteral("Fake engine"); }

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
    QCoro::Task<void> applySyncedXattrFilter(QString folderID) override;
    QCoro::Task<std::optional<qint64>> directoryModified(QString folderID, QString path) override;

    QCoro::Task<QList<ArchivedVersion>> archivedVersions(QString folderID) override;
    QCoro::Task<void> restoreArchived(QString folderID, QString path, QString versionTime) override;
    QCoro::Task<void> restoreArchivedBatch(QString folderID, QMap<QString, QString> mapping) override;

    QCoro::Task<FolderStatus> folderStatus(QString id) override;
    QCoro::Task<QMap<QString, ClusterNeed>> clusterNeeds() override;
    QCoro::Task<double> deviceCompletion(QString folderID, QString deviceID) override;
    QCoro::Task<std::optional<QString>> currentTransferName(QString folderID) override;

    QCoro::Task<QList<SyncDevice>> devices() override;
    QCoro::Task<SyncDevice> addDevice(NewDeviceRequest request) override;
    QCoro::Task<void> setDevicePaused(QString deviceID, bool paused) override;
    QCoro::Task<QList<DeviceConnection>> connections() override;
    QCoro::Task<void> shareFolder(QString folderID, QString deviceID) override;
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
    // Only logged: a poll held in beforeAnswer stays held.
    void cancelEvents() override;

    QCoro::Task<QString> diagnosticsReport() override;
    QCoro::Task<QList<FolderDiagStatus>> diagnosticsStatus() override;
    QCoro::Task<QMap<QString, QString>> recentFolderErrors() override;
    QCoro::Task<bool> isPairedDevice(QString deviceID) override;

private:
    struct Fault
    {
        QString operation;  // or "*"
        int callNumber = 0; // 0: any call
        bool once = true;
        std::exception_ptr error;
    };

    template <typename Error>
    static std::exception_ptr toPointer(Error error)
    {
        static_assert(std::is_base_of_v<std::exception, Error>, "faults are exceptions");
        return std::make_exception_ptr(std::move(error));
    }

    void addFault(const QString &operation, int callNumber, bool once, std::exception_ptr error);
    std::exception_ptr takeFault(const QString &operation);

    struct Entry
    {
        QString operation;
        std::exception_ptr fault;
    };

    // Logs the call and picks its fault. Kept apart from the awaited part:
    // GCC 12 rejects a braced argument list inside a co_await expression.
    Entry record(const QString &operation, const QStringList &arguments);
    // Awaits beforeAnswer, then throws the call's fault, if any.
    QCoro::Task<void> enter(Entry entry);
    // For operations that never throw: true when a fault means "answer neutrally".
    QCoro::Task<bool> enterNeutral(Entry entry);
    // enter(), then `value`: for operations without a part in `state`.
    template <typename T>
    QCoro::Task<T> answer(Entry entry, T value)
    {
        co_await enter(std::move(entry));
        co_return value;
    }
    SyncFolder *findFolder(const QString &id);
    SyncFolder &requireFolder(const QString &id);

    QList<Fault> m_faults;
    int m_nextFolderNumber = 1;
};

} // namespace tw
