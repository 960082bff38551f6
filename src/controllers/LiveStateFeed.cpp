#include "controllers/LiveStateFeed.h"

#include "controllers/DeviceController.h"
#include "controllers/EventController.h"
#include "controllers/FolderController.h"
#include "engine/SyncEngine.h"

namespace tw {

LiveStateFeed::LiveStateFeed(SyncEngine &engine, EventController &events, FolderController &folders,
                             DeviceController &devices, Clock clock, QObject *parent)
    : QObject(parent), m_engine(engine), m_events(events), m_folders(folders), m_devices(devices),
      m_clock(std::move(clock))
{
    folders.followEvents();
    devices.followEvents();
    devices.setTransferCheck([this] { return transferPossible(); });
    connect(&events, &EventController::transferProgress, this, [this] { m_lastActivity = m_clock(); });
    connect(&events, &EventController::summaryArrived, &folders, &FolderController::applySummary);
    connect(&events, &EventController::folderStateArrived, &folders, &FolderController::applyState);
    connect(&events, &EventController::folderPauseArrived, &folders, &FolderController::applyPaused);
    connect(&events, &EventController::peerIndexMoved, &folders, &FolderController::notePeerIndexMoved);
    connect(&events, &EventController::configSaved, this, [this] {
        m_folders.noteConfigSaved();
        m_devices.noteDevicesChanged();
    });
    connect(&events, &EventController::devicesChanged, &devices, &DeviceController::noteDevicesChanged);
    connect(&events, &EventController::streamGap, this, [this] {
        m_folders.noteStreamGap();
        m_devices.noteDevicesChanged();
    });
    connect(&events, &EventController::deviceConnected, this, [this](const QString &id) {
        m_lastActivity = m_clock();
        m_completionsRead.remove(id);
        readNewCompletions(id);
    });
    // Completions are part of everything: a full read reads them again.
    connect(&folders, &FolderController::fullReadFinished, this, [this] {
        m_completionsRead.clear();
        readNewCompletions();
        updateClusterNeeds();
    });
    connect(&devices, &DeviceController::connectionsChanged, this, [this] { readNewCompletions(); });

    connect(&folders, &FolderController::foldersChanged, this, &LiveStateFeed::updateClusterNeeds);
    connect(&devices, &DeviceController::connectionsChanged, this, &LiveStateFeed::updateClusterNeeds);
    connect(&devices, &DeviceController::localDeviceIDChanged, this, &LiveStateFeed::updateClusterNeeds);
    connect(&events, &EventController::remoteNeedBytesChanged, this, &LiveStateFeed::updateClusterNeeds);
}

LiveStateFeed::~LiveStateFeed()
{
    m_devices.setTransferCheck({});
}

bool LiveStateFeed::transferPossible() const
{
    if (m_lastActivity) {
        const qint64 since = m_lastActivity->msecsTo(m_clock());
        if (since >= 0 && since < std::chrono::milliseconds(activityWindow).count())
            return true;
    }
    for (const FolderStatus &status : m_folders.statuses())
        if (status.state == FolderState::Syncing || status.state == FolderState::Scanning)
            return true;
    // Syncthing reports what away devices need too: all of it, and nothing
    // moves to them.
    for (const QMap<QString, qint64> &devices : m_events.remoteNeedBytes())
        for (auto need = devices.cbegin(); need != devices.cend(); ++need)
            if (*need > 0 && m_devices.connection(need.key()).value_or(DeviceConnection()).connected)
                return true;
    for (const DeviceConnection &connection : m_devices.connections())
        if (connection.inBytesPerSecond > 0 || connection.outBytesPerSecond > 0)
            return true;
    return false;
}

// What the engine's clusterNeeds() reads, from what is already held: each
// folder's other devices, those connected, and what they still need as their
// completion reports told.
void LiveStateFeed::updateClusterNeeds()
{
    const QString self = m_devices.localDeviceID();
    const RemoteNeedMap &remote = m_events.remoteNeedBytes();
    ClusterNeedMap needs;
    for (const SyncFolder &folder : m_folders.engineFolders()) {
        ClusterNeed need;
        for (const QString &device : folder.sharedDeviceIDs) {
            if (device == self)
                continue;
            ++need.peersTotal;
            const std::optional<DeviceConnection> connection = m_devices.connection(device);
            if (!connection || !connection->connected)
                continue;
            ++need.peersConnected;
            need.remoteNeedBytes += std::max<qint64>(remote.value(folder.id).value(device), 0);
        }
        needs.insert(folder.id, need);
    }
    m_folders.applyClusterNeeds(std::move(needs));
}

void LiveStateFeed::readNewCompletions(const QString &connectedDevice)
{
    QSet<QString> devices;
    if (!connectedDevice.isEmpty()) {
        devices.insert(connectedDevice);
    } else {
        for (const DeviceConnection &connection : m_devices.connections()) {
            if (connection.connected && !m_completionsRead.contains(connection.id))
                devices.insert(connection.id);
        }
        // A device that went away is read again when it is back.
        m_completionsRead.removeIf([this](const QString &id) {
            const std::optional<DeviceConnection> connection = m_devices.connection(id);
            return !connection || !connection->connected;
        });
    }
    devices.remove(m_devices.localDeviceID());
    QList<std::pair<QString, QString>> pairs;
    for (const SyncFolder &folder : m_folders.engineFolders()) {
        for (const QString &device : folder.sharedDeviceIDs) {
            if (devices.contains(device)) {
                pairs.append({folder.id, device});
                // A device no known folder is shared with yet is looked at again.
                m_completionsRead.insert(device);
            }
        }
    }
    if (!pairs.isEmpty())
        readCompletions(QPointer<LiveStateFeed>(this), std::move(pairs));
}

// Runs detached; later completion events simply overwrite what it stores.
QCoro::Task<void> LiveStateFeed::readCompletions(QPointer<LiveStateFeed> self,
                                                 QList<std::pair<QString, QString>> pairs)
{
    for (const auto &[folder, device] : pairs) {
        if (!self)
            co_return;
        try {
            const PeerCompletion completion = co_await self->m_engine.peerCompletion(folder, device);
            if (!self)
                co_return;
            self->m_events.setCompletion(folder, device, completion.percent);
            self->m_events.setRemoteNeed(folder, device, completion.needBytes);
            self->m_events.setTakesPart(folder, device, completion.takesPart, completion.indexSequence);
        } catch (...) {
            // One unreadable completion does not hide the others; the events
            // or the next full read bring it.
        }
    }
}

} // namespace tw
