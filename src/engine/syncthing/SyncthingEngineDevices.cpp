// Devices, sharing of folders with devices, the offers of other devices, and
// pausing every folder at once.

#include "engine/syncthing/SyncthingEngine.h"

#include "utilities/LoopbackOnly.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QPointer>
#include <QUrl>
#include <algorithm>

namespace tw {
namespace {

const QString kPausedKey = QStringLiteral("paused");
const QString kDevicesKey = QStringLiteral("devices");
const QString kDynamicAddress = QStringLiteral("dynamic");
constexpr qint64 kNumConnections = 5;

QJsonObject pausedPatch(bool paused)
{
    QJsonObject patch;
    patch.insert(kPausedKey, paused);
    return patch;
}

SyncDevice mapDevice(const STDeviceRead &device, const std::optional<QString> &myID)
{
    SyncDevice mapped;
    mapped.id = device.deviceID;
    mapped.name = device.name.isEmpty() ? SyncthingEngine::shortID(device.deviceID) : device.name;
    mapped.isPaused = device.paused;
    mapped.isThisDevice = myID && *myID == device.deviceID;
    mapped.downLimitKbps = device.maxRecvKbps.value_or(0);
    mapped.upLimitKbps = device.maxSendKbps.value_or(0);
    return mapped;
}

// A loopback-only run dials nothing beyond this machine: an address handed
// over by a peer (an invitation's tailnet address) would connect off it.
// Discovery is off in such a run, so "dynamic" finds nothing there either.
QStringList keptToLoopback(const QStringList &addresses)
{
    QStringList kept;
    for (const QString &address : addresses) {
        if (address == kDynamicAddress || isLoopbackHost(QUrl(address).host()))
            kept.append(address);
    }
    return kept.isEmpty() ? QStringList{kDynamicAddress} : kept;
}

STDeviceWrite deviceWrite(const NewDeviceRequest &request)
{
    STDeviceWrite write;
    write.deviceID = request.id;
    write.name = request.name;
    write.addresses = request.addresses.value_or(QStringList{kDynamicAddress});
    if (loopbackOnlyRun())
        write.addresses = keptToLoopback(write.addresses);
    write.paused = false;
    write.numConnections = kNumConnections;
    write.introducer = request.introducer;
    return write;
}

DeviceConnection mapConnection(const QString &deviceID, const STConnectionsResponse::Conn &conn)
{
    DeviceConnection mapped;
    mapped.id = deviceID;
    mapped.connected = conn.connected;
    mapped.address = conn.address;
    mapped.connectionType = conn.type.value_or(QString());
    mapped.inBytesTotal = conn.inBytesTotal.value_or(0);
    mapped.outBytesTotal = conn.outBytesTotal.value_or(0);
    mapped.version = conn.clientVersion.value_or(QString());
    mapped.isLocal = conn.isLocal.value_or(false);
    mapped.crypto = conn.crypto.value_or(QString());
    return mapped;
}

bool isUsableName(const std::optional<QString> &name)
{
    return name && !name->isEmpty();
}

// Syncthing lays a patched device list element by element over its own
// (sorted) list, and an element keeps whatever key the patch leaves out. Every
// entry is therefore written whole, or a kept device would inherit the
// introducer or encryption password of whichever device sat at its index.
QJsonObject devicesPatch(const QList<STDeviceRef> &entries)
{
    QJsonArray array;
    for (const STDeviceRef &entry : entries)
        array.append(entry.toJson());
    QJsonObject patch;
    patch.insert(kDevicesKey, array);
    return patch;
}

QStringList deviceIDs(const QList<STDeviceRef> &devices)
{
    QStringList ids;
    ids.reserve(devices.size());
    for (const STDeviceRef &ref : devices)
        ids.append(ref.deviceID);
    return ids;
}

} // namespace

QCoro::Task<QList<SyncDevice>> SyncthingEngine::devices()
{
    // Without this device's ID every device is simply not this one.
    std::optional<QString> myID;
    try {
        myID = co_await localDeviceID();
    } catch (const std::exception &) {
    }
    const SyncthingAPI api = requireAPI();
    const QList<STDeviceRead> devices = co_await api.getDevices();
    QList<SyncDevice> result;
    result.reserve(devices.size());
    for (const STDeviceRead &device : devices)
        result.append(mapDevice(device, myID));
    co_return result;
}

QCoro::Task<SyncDevice> SyncthingEngine::addDevice(NewDeviceRequest request)
{
    const SyncthingAPI api = requireAPI();
    co_await api.putDevice(deviceWrite(request));
    SyncDevice added;
    added.id = request.id;
    added.name = request.name;
    co_return added;
}

QCoro::Task<void> SyncthingEngine::setDevicePaused(QString deviceID, bool paused)
{
    const SyncthingAPI api = requireAPI();
    co_await api.patchDevice(deviceID, pausedPatch(paused));
    forgetConnections();
}

QCoro::Task<void> SyncthingEngine::setDeviceIntroducer(QString deviceID, bool introducer)
{
    QJsonObject patch;
    patch.insert(QStringLiteral("introducer"), introducer);
    const SyncthingAPI api = requireAPI();
    co_await api.patchDevice(deviceID, patch);
}

QList<STDeviceRef> SyncthingEngine::editedDevices(const QList<STDeviceRef> &folderDevices,
                                                  const QStringList &editedIDs)
{
    QHash<QString, STDeviceRef> byID;
    for (const STDeviceRef &ref : folderDevices) {
        if (!byID.contains(ref.deviceID))
            byID.insert(ref.deviceID, ref);
    }
    QList<STDeviceRef> entries;
    for (const QString &id : editedIDs) {
        const STDeviceRef read = byID.value(id);
        STDeviceRef written;
        written.deviceID = id;
        written.introducedBy = read.introducedBy.value_or(QString());
        written.encryptionPassword = read.encryptionPassword.value_or(QString());
        entries.append(written);
    }
    return entries;
}

QCoro::Task<QList<STDeviceRef>> SyncthingEngine::listedDevices(SyncthingAPI api, SyncFolder listed)
{
    const auto cached = m_listedDevices.constFind(listed.id);
    if (cached != m_listedDevices.cend() && deviceIDs(*cached) == listed.sharedDeviceIDs)
        co_return QList<STDeviceRef>(*cached);
    const QList<STFolderRead> folders = co_await api.getFolders();
    const auto folder = std::find_if(folders.cbegin(), folders.cend(),
                                     [&listed](const STFolderRead &f) { return f.id == listed.id; });
    if (folder == folders.cend())
        throw SyncEngineError::backend(QStringLiteral("Folder not found: ") + listed.id);
    co_return QList<STDeviceRef>(folder->devices);
}

// The reconcile pass's one write per folder: its settings and its device
// list together, the devices' entries taken from the listing the pass read.
QCoro::Task<void> SyncthingEngine::changeFolder(SyncFolder listed, FolderChange change)
{
    if (change.isEmpty())
        co_return;
    const auto guard = co_await m_folderDevicesMutex.lock();
    const SyncthingAPI api = requireAPI();
    if (change.paused)
        change.paused = runPolicy().pausedFor(listed.id, *change.paused);
    QJsonObject patch = settingsPatch(change);
    std::optional<QList<STDeviceRef>> written;
    if (change.sharedDeviceIDs) {
        const QList<STDeviceRef> devices = co_await listedDevices(api, listed);
        written = editedDevices(devices, *change.sharedDeviceIDs);
        patch.insert(kDevicesKey, devicesPatch(*written).value(kDevicesKey));
    }
    co_await api.patchFolder(listed.id, patch);
    if (written)
        m_listedDevices.insert(listed.id, *written);
}

QCoro::Task<QList<DeviceConnection>> SyncthingEngine::connections()
{
    const STConnectionsResponse response = co_await sharedConnections();
    QList<DeviceConnection> result;
    result.reserve(response.connections.size());
    for (auto it = response.connections.constBegin(); it != response.connections.constEnd(); ++it)
        result.append(mapConnection(it.key(), it.value()));
    co_return result;
}

// Not coroutines themselves: GCC 12 destroys a lambda converted to a by-value
// parameter inside a co_await expression twice.
QCoro::Task<void> SyncthingEngine::shareFolder(QString folderID, QString deviceID)
{
    return updateFolderDevices(std::move(folderID), [deviceID](QStringList &ids) {
        if (!ids.contains(deviceID))
            ids.append(deviceID);
    });
}

QCoro::Task<void> SyncthingEngine::unshareFolder(QString folderID, QString deviceID)
{
    return updateFolderDevices(std::move(folderID), [deviceID](QStringList &ids) { ids.removeAll(deviceID); });
}

QCoro::Task<void> SyncthingEngine::updateFolderDevices(QString folderID, std::function<void(QStringList &)> edit)
{
    // Between the read and the PATCH another edit of this engine would be
    // overwritten; one edit at a time keeps both.
    const auto guard = co_await m_folderDevicesMutex.lock();
    const SyncthingAPI api = requireAPI();
    const QList<STFolderRead> folders = co_await api.getFolders();
    const auto folder = std::find_if(folders.cbegin(), folders.cend(),
                                     [&folderID](const STFolderRead &f) { return f.id == folderID; });
    if (folder == folders.cend())
        throw SyncEngineError::backend(QStringLiteral("Folder not found: ") + folderID);
    QStringList ids = deviceIDs(folder->devices);
    edit(ids);
    const QList<STDeviceRef> written = editedDevices(folder->devices, ids);
    co_await api.patchFolder(folderID, devicesPatch(written));
    m_listedDevices.insert(folderID, written);
}

QCoro::Task<QList<PendingDevice>> SyncthingEngine::pendingDevices()
{
    const SyncthingAPI api = requireAPI();
    const QMap<QString, STPendingDevice> pending = co_await api.pendingDevices();
    QList<PendingDevice> result;
    result.reserve(pending.size());
    for (auto it = pending.constBegin(); it != pending.constEnd(); ++it) {
        PendingDevice device;
        device.id = it.key();
        device.name = isUsableName(it->name) ? *it->name : shortID(it.key());
        device.address = it->address.value_or(QString());
        result.append(device);
    }
    co_return result;
}

QCoro::Task<QList<PendingFolder>> SyncthingEngine::pendingFolders()
{
    const SyncthingAPI api = requireAPI();
    const QList<STDeviceRead> devices = co_await api.getDevices();
    const QHash<QString, QString> names = STDeviceRead::namesByID(devices);
    const QMap<QString, STPendingFolder> pending = co_await api.pendingFolders();
    QList<PendingFolder> result;
    for (auto folder = pending.constBegin(); folder != pending.constEnd(); ++folder) {
        if (folder.key().isEmpty())
            continue;
        const auto &offers = folder->offeredBy;
        for (auto offer = offers.constBegin(); offer != offers.constEnd(); ++offer) {
            if (offer.key().isEmpty())
                continue;
            const QString name = names.value(offer.key());
            PendingFolder entry;
            entry.folderID = folder.key();
            entry.label = isUsableName(offer->label) ? *offer->label : folder.key();
            entry.offeredByDeviceID = offer.key();
            entry.offeredByName = name.isEmpty() ? shortID(offer.key()) : name;
            result.append(entry);
        }
    }
    co_return result;
}

QCoro::Task<void> SyncthingEngine::dismissPendingDevice(QString id)
{
    const SyncthingAPI api = requireAPI();
    co_await api.dismissPendingDevice(id);
}

QCoro::Task<void> SyncthingEngine::dismissPendingFolder(QString folderID, QString fromDeviceID)
{
    const SyncthingAPI api = requireAPI();
    co_await api.dismissPendingFolder(folderID, fromDeviceID);
}

QCoro::Task<void> SyncthingEngine::setAllPaused(bool paused)
{
    // After the folder writes already asked for: one decided before the
    // user's choice (a reconcile's resume) must not land after it.
    const auto guard = co_await m_folderDevicesMutex.lock();
    const SyncthingAPI api = requireAPI();
    const QList<STFolderRead> folders = co_await api.getFolders();
    // One after another; the first failure ends it, leaving the folders before
    // it changed and the rest untouched. A resume leaves paused the folders
    // the policy holds, switched off or the pause of everything put back.
    for (const STFolderRead &folder : folders) {
        const bool wanted = runPolicy().pausedFor(folder.id, paused);
        if (folder.paused != wanted)
            co_await api.patchFolder(folder.id, pausedPatch(wanted));
    }
}

// The polling cycle asks for the connections twice (the throughput sample and
// the device rates) within moments: one answer serves both. A connection
// event makes the next ask read afresh.
QCoro::Task<STConnectionsResponse> SyncthingEngine::sharedConnections()
{
    if (m_connections && m_connectionsAge.isValid() && m_connectionsAge.elapsed() < m_connectionsReuse.count())
        co_return STConnectionsResponse(*m_connections);
    const SyncthingAPI api = requireAPI();
    const quint64 asked = m_connectionsGeneration;
    // A detached caller's ask may be answered after this engine is gone.
    const QPointer<SyncthingEngine> self(this);
    STConnectionsResponse response = co_await api.connections();
    // An answer to an ask made before a connection event or a restart is
    // older than what it would stand for.
    if (self && asked == m_connectionsGeneration) {
        m_connections = response;
        m_connectionsAge.start();
    }
    co_return response;
}

void SyncthingEngine::forgetConnections()
{
    m_connections.reset();
    ++m_connectionsGeneration;
}

} // namespace tw
