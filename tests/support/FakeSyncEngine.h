#pragma once

#include "engine/SyncEngine.h"

#include <coroutine>
#include <deque>
#include <exception>
#include <functional>
#include <type_traits>

namespace tw {

// An in-memory SyncEngine for controller and project tests.
//
// Tests arrange the engine's picture by writing `state` directly; the
// operations that have a part in it read it and change it the way the real
// engine changes its configuration. The others only log and answer an empty
// value. Every call is logged as "operation(arg1, arg2)" before anything else
// happens, so a failing call is logged too.
//
// Faults are decided when the call is made and thrown after `beforeAnswer`.
// Ignores of an unknown folder fail with an HTTP 404, sharing or unsharing an
// unknown folder with "Folder not found: <id>". A new folder without an ID
// gets "tdw-" and 8 lower-case hex digits and lists this Mac and the other
// devices asked for, with the synced-attribute filter; a fault
// registered for "addFolder:ignores" fails its ignore write after the folder
// was made, leaving the folder in place. addDevice replaces a listed device
// whole, unpaused, as the real engine does. A restore of a version the
// archive lists takes it out of the listing; one of a version it does not
// list fails as the adapter's does ("Could not restore <path>: version not
// found"; times compared as text). The network settings and this device's
// name are read and written in `state`.
//
// A held operation's calls wait, after logging and beforeAnswer, until the
// test releases it.
//
// Nothing suspends by itself: an await answers at once unless a test holds
// it or suspends in beforeAnswer.
class FakeSyncEngine : public SyncEngine
{
    using QStringMap = QMap<QString, QString>;

public:
    struct State
    {
        QString localDeviceID = QStringLiteral("LOCALID-AAAAAAA-BBBBBBB-CCCCCCC-DDDDDDD-EEEEEEE-FFFFFFF-GGGGGGG");
        QList<SyncFolder> folders;
        QMap<QString, QStringList> ignores;                     // folder ID -> ignore lines
        QMap<QString, QMap<QString, qint64>> directoryModified; // folder ID -> path -> seconds since 1970
        QMap<QString, FolderStatus> folderStatuses;
        QMap<QString, ClusterNeed> clusterNeeds;
        QMap<QString, QString> currentTransferNames;
        QMap<QString, QString> recentFolderErrors;
        QList<SyncDevice> devices;
        QList<DeviceConnection> connections;
        QList<SyncEvent> events;
        // The changes found on disk, numbered as given.
        QList<SyncEvent> diskEvents;
        QList<PendingDevice> pendingDevices;
        QList<PendingFolder> pendingFolders;
        QMap<QString, QMap<QString, QList<BrowseEntry>>> browse; // folder ID -> prefix ("" the root) -> level
        QMap<QString, QList<ArchivedVersion>> archives;          // folder ID -> every archived copy
        NetworkSettings network;
        QString deviceName;                                      // this device's name in the engine
        CumulativeBytes transferred;  // what cumulativeBytes() answers
        QString diagnosticsReport;    // what diagnosticsReport() answers
        bool running = false;
    };

    using SyncEngine::SyncEngine;

    State state;
    // Awaited by every operation after logging and before answering; lets a
    // test hold a call in flight or gate each operation.
    std::function<QCoro::Task<void>(QString operation)> beforeAnswer;

    QStringList callLog() const { return m_log; }
    // Every addDevice and addFolder request as it came, failing ones included.
    QList<NewDeviceRequest> deviceRequests;
    QList<NewFolderRequest> folderRequests;
    QStringList callsOf(const QString &operation) const;
    int callCount(const QString &operation) const { return int(callsOf(operation).size()); }

    // The next call of the operation fails, or its n-th (1-based); once.
    template <typename Error>
    void failNext(QString operation, Error error, int n = 0)
    {
        m_faults.append({operation, n, std::make_exception_ptr(std::move(error))});
    }

    void hold(const QString &operation) { m_gates[operation].closed = true; }
    // Opens the gate; the waiting calls go on from the event loop.
    void release(const QString &operation);
    int waiting(const QString &operation) const { return int(m_gates.value(operation).waiters.size()); }

    // Numbered on from the last event held (from 1), as the engine numbers its events.
    void pushEvent(SyncEvent event);

    QString engineName() const override { return QStringLiteral("Fake engine"); }

    QCoro::Task<void> start() override { return reply(__func__, {}); }
    QCoro::Task<void> stop() override { return reply(__func__, {}); }
    QCoro::Task<void> resetDatabase() override { return reply(__func__, {}); }
    QCoro::Task<EngineStatus> status() override
    {
        return reply(__func__, {}, [this] {
            EngineStatus status;
            status.isRunning = state.running;
            return status;
        });
    }

    QCoro::Task<QString> localDeviceID() override { return read(__func__, &State::localDeviceID); }
    QCoro::Task<QString> localDeviceName() override { return read(__func__, &State::deviceName); }
    QCoro::Task<void> setLocalDeviceName(QString name) override
    {
        return reply(__func__, {name}, [this, name] { state.deviceName = name; });
    }

    QCoro::Task<QList<SyncFolder>> folders() override { return read(__func__, &State::folders); }
    QCoro::Task<SyncFolder> addFolder(NewFolderRequest request) override;
    QCoro::Task<void> removeFolder(QString id) override
    {
        return reply(__func__, {id}, [this, id] {
            state.folders.removeIf([&id](const SyncFolder &folder) { return folder.id == id; });
        });
    }
    QCoro::Task<QStringList> ignorePatterns(QString folderID) override;
    QCoro::Task<void> updateIgnorePatterns(QString folderID, QStringList patterns) override;
    QCoro::Task<QList<BrowseEntry>> browse(QString id, QString prefix) override
    {
        return reply(__func__, {id, prefix}, [this, id, prefix] { return state.browse.value(id).value(prefix); });
    }
    QCoro::Task<void> setFolderMetadata(QString id, bool on) override { return reply(__func__, {id, flag(on)}); }
    QCoro::Task<void> setVersioning(QString id, VersioningPolicy) override { return reply(__func__, {id}); }
    // Pauses or resumes a listed folder; any other is only logged.
    QCoro::Task<void> setFolderPaused(QString id, bool paused) override;
    QCoro::Task<void> setFolderLabel(QString id, QString label) override { return reply(__func__, {id, label}); }
    // The listed folder's mode as the engine names it.
    QCoro::Task<QString> folderType(QString id) override;
    // Sets the listed folder's mode when the type names one.
    QCoro::Task<void> setFolderType(QString id, QString type) override;
    // Resumes the folder first where the run policy lets it run.
    QCoro::Task<void> rescanFolder(QString id) override;
    QCoro::Task<void> scanFolder(QString id) override { return reply(__func__, {id}); }
    QCoro::Task<void> scanPaths(QString id, QStringList paths) override
    {
        return reply(__func__, {id, paths.join(QLatin1Char('|'))});
    }
    QCoro::Task<void> scanAllFolders() override { return reply(__func__, {}); }
    QCoro::Task<void> applySyncedXattrFilter(QString id) override;
    // Logged as "changeFolder(id, label=…, versioning, metadata=…, xattrs, paused=…,
    // devices=A|B)", each part only when changed; an unlisted folder fails
    // as sharing does.
    QCoro::Task<void> changeFolder(SyncFolder listed, FolderChange change) override;
    QCoro::Task<std::optional<qint64>> directoryModified(QString folderID, QString path) override;
    QCoro::Task<QHash<QString, qint64>> directoryTimes(QString folderID) override;

    QCoro::Task<QList<ArchivedVersion>> archivedVersions(QString id) override
    {
        return reply(__func__, {id}, [this, id] { return state.archives.value(id); });
    }
    QCoro::Task<void> restoreArchived(QString id, QString path, QString at) override;
    // Logged as "restoreArchivedBatch(id, path@time|path@time)".
    QCoro::Task<void> restoreArchivedBatch(QString id, QStringMap mapping) override;

    QCoro::Task<FolderStatus> folderStatus(QString id) override;
    QCoro::Task<QMap<QString, ClusterNeed>> clusterNeeds() override { return read(__func__, &State::clusterNeeds); }
    QCoro::Task<double> deviceCompletion(QString id, QString device) override
    {
        return reply<double>(__func__, {id, device});
    }
    QCoro::Task<PeerCompletion> peerCompletion(QString id, QString device) override
    {
        return reply<PeerCompletion>(__func__, {id, device});
    }
    QCoro::Task<std::optional<QString>> currentTransferName(QString folderID) override;

    QCoro::Task<QList<SyncDevice>> devices() override { return read(__func__, &State::devices); }
    QCoro::Task<SyncDevice> addDevice(NewDeviceRequest device) override;
    QCoro::Task<void> setDevicePaused(QString id, bool paused) override { return reply(__func__, {id, flag(paused)}); }
    QCoro::Task<void> setDeviceIntroducer(QString id, bool on) override { return reply(__func__, {id, flag(on)}); }
    QCoro::Task<QList<DeviceConnection>> connections() override { return read(__func__, &State::connections); }
    QCoro::Task<void> shareFolder(QString folderID, QString deviceID) override;
    QCoro::Task<void> unshareFolder(QString folderID, QString deviceID) override;
    QCoro::Task<QList<PendingDevice>> pendingDevices() override { return read(__func__, &State::pendingDevices); }
    QCoro::Task<QList<PendingFolder>> pendingFolders() override { return read(__func__, &State::pendingFolders); }
    QCoro::Task<void> dismissPendingDevice(QString id) override { return reply(__func__, {id}); }
    QCoro::Task<void> dismissPendingFolder(QString id, QString from) override { return reply(__func__, {id, from}); }
    // As the adapter does: the listed folders one after another, each a step
    // of its own ("setAllPaused:folder(id, paused)") that a test may hold or
    // fail; the first failure ends it.
    QCoro::Task<void> setAllPaused(bool paused) override;

    QCoro::Task<NetworkSettings> networkSettings() override { return read(__func__, &State::network); }
    QCoro::Task<void> applyNetworkSettings(NetworkSettings settings) override
    {
        return reply(__func__, {}, [this, settings] { state.network = settings; });
    }
    QCoro::Task<void> setGlobalBandwidth(qint64 down, qint64 up) override
    {
        return reply(__func__, {QString::number(down), QString::number(up)});
    }
    QCoro::Task<CumulativeBytes> cumulativeBytes() override { return read(__func__, &State::transferred); }

    QCoro::Task<QList<SyncEvent>> events(qint64 since) override;
    QCoro::Task<QList<SyncEvent>> diskEvents(qint64 since, int waitSeconds) override;
    // Only logged: a poll held in beforeAnswer stays held.
    void cancelEvents() override { m_log.append(QStringLiteral("cancelEvents()")); }

    QCoro::Task<QString> diagnosticsReport() override { return read(__func__, &State::diagnosticsReport); }
    QCoro::Task<QList<FolderDiagStatus>> diagnosticsStatus() override
    {
        return reply<QList<FolderDiagStatus>>(__func__, {});
    }
    QCoro::Task<QStringMap> recentFolderErrors() override { return read(__func__, &State::recentFolderErrors); }
    QCoro::Task<bool> isPairedDevice(QString deviceID) override { return reply<bool>(__func__, {deviceID}); }

private:
    struct Gate
    {
        bool closed = false;
        std::deque<std::coroutine_handle<>> waiters;
    };
    struct GateAwaiter
    {
        FakeSyncEngine *engine;
        QString operation;
        bool await_ready() const { return !engine->m_gates.value(operation).closed; }
        void await_suspend(std::coroutine_handle<> handle) { engine->m_gates[operation].waiters.push_back(handle); }
        void await_resume() const {}
    };

    struct Fault
    {
        QString operation;
        int callNumber = 0; // 0: any call
        std::exception_ptr error;
    };

    static QString flag(bool value) { return value ? QStringLiteral("true") : QStringLiteral("false"); }
    template <typename Map>
    static std::optional<typename Map::mapped_type> entry(const Map &map, const typename Map::key_type &key)
    {
        return map.contains(key) ? std::optional(map.value(key)) : std::nullopt;
    }

    // Logs the call and answers its fault, if any.
    std::exception_ptr record(const QString &operation, const QStringList &arguments);
    // Removes and answers the first fault registered for any call of the
    // operation, without logging a call.
    std::exception_ptr takeFault(const QString &operation, int number = 0);
    SyncFolder *findFolder(const QString &id);
    // One folder's step of setAllPaused.
    QCoro::Task<void> pauseOneOfAll(QString id, bool paused);
    // Takes the listed copies out of the folder's archive; throws the
    // adapter's error naming those that are not listed.
    void restoreListed(const QString &folderID, const QStringMap &mapping);
    // Throws the real engine's 404 for a folder ID it does not list.
    void requireFolder(const QString &id);

    // The one shape of every operation: log, beforeAnswer, then the fault or
    // `answer()`. The answer returns a copy: QCoro moves from what it is given.
    template <typename Answer>
    QCoro::Task<std::invoke_result_t<Answer>> reply(QString operation, QStringList arguments, Answer answer)
    {
        const std::exception_ptr fault = record(operation, arguments);
        if (beforeAnswer)
            co_await beforeAnswer(operation);
        GateAwaiter gate{this, operation};
        co_await gate;
        if (fault)
            std::rethrow_exception(fault);
        if constexpr (std::is_void_v<std::invoke_result_t<Answer>>)
            answer();
        else
            co_return answer();
    }
    template <typename T = void>
    QCoro::Task<T> reply(QString operation, QStringList arguments)
    {
        return reply(std::move(operation), std::move(arguments), [] { return T(); });
    }
    // An operation that answers a copy of one part of `state`.
    template <typename T>
    QCoro::Task<T> read(QString operation, T State::*part)
    {
        return reply(std::move(operation), {}, [this, part] { return state.*part; });
    }

    QStringList m_log;
    QList<Fault> m_faults;
    QMap<QString, Gate> m_gates;
    int m_nextFolderNumber = 1;
};

} // namespace tw
