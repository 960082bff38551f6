// How far folders are synchronised: one folder's state here, what the
// connected peers still need, one peer's completion, and the item in transfer.

#include "engine/syncthing/SyncthingEngine.h"

#include "engine/syncthing/rest/LooseJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <qcoro/qcorofuture.h>

namespace tw {
namespace {

const QString kFolderErrorsPath = QStringLiteral("/rest/folder/errors");
// How long a reading of a folder's failed items serves while Syncthing's
// count of them holds (a new pull forgets it sooner).
constexpr qint64 kFailuresReuseMs = 60'000;
// Syncthing's reasons for an item that no connected device can give it now.
// It pulls the item again as soon as a device that has it connects: right
// after a relaunch, before any teammate is back, every needed item fails so.
const QString kNotAvailable = QStringLiteral("no connected device has the required version of this file");
const QString kPeersWentAway =
    QStringLiteral("peers who had this file went away, or the file has changed while syncing. will retry later");

// The share of the global bytes present here, as a fraction.
double localCompletion(qint64 globalBytes, qint64 localBytes)
{
    if (globalBytes <= 0)
        return 1.0;
    return std::min(static_cast<double>(localBytes) / static_cast<double>(globalBytes), 1.0);
}

bool isConnected(const STConnectionsResponse &connections, const QString &deviceID)
{
    const auto it = connections.connections.constFind(deviceID);
    return it != connections.connections.constEnd() && it->connected;
}

std::optional<QString> firstName(const std::optional<QList<STNeedResponse::Item>> &items)
{
    if (!items || items->isEmpty())
        return std::nullopt;
    return items->first().name;
}

QString lastPathComponent(const QString &path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

} // namespace

QCoro::Task<FolderStatus> SyncthingEngine::folderStatus(QString id)
{
    const SyncthingAPI api = requireAPI();
    const QPointer<SyncthingEngine> self(this);
    const FolderStatus status = mapStatus(id, co_await api.folderStatus(id));
    if (!self)
        throw SyncEngineError::notRunning();
    co_return co_await withoutWaitingItems(api, status);
}

bool SyncthingEngine::takesPart(const std::optional<QString> &remoteState)
{
    return remoteState == QLatin1String("valid");
}

bool SyncthingEngine::waitsForDevice(const QString &error)
{
    return error.endsWith(kNotAvailable) || error.endsWith(kPeersWentAway);
}

// The item itself syncs once its folder stops carrying extended attributes,
// which the reconcile pass does for a folder on a drive that refuses them:
// until then, the refusal is not the item's failure.
bool SyncthingEngine::xattrsRefused(const QString &error)
{
    return error.contains(QLatin1String("xattr"), Qt::CaseInsensitive)
           && error.contains(QLatin1String("operation not supported"));
}

// Syncthing lists failed items by path, so the real failures may lie past
// any number of items that only wait: a count is true only once the whole
// list is read. Syncthing builds the list anew at each pull, so pages asked
// one after another may come from different lists (an item that moved onto
// a page already read is missed, one that moved onto the next counted
// twice): the list is read in one answer, which comes from one list. Past
// `failuresRead` items only those are read, and the items left unread count
// as Syncthing counts them, failed: a list read in part never tells "no
// failures". While Syncthing's count holds, the list is not read again.
QCoro::Task<std::optional<SyncthingEngine::FailedItems>>
SyncthingEngine::itemFailures(SyncthingAPI api, QString folderID, qint64 listedCount)
{
    const auto known = m_readFailures.constFind(folderID);
    if (known != m_readFailures.cend() && known->listedCount == listedCount && !known->age.hasExpired(kFailuresReuseMs))
        co_return known->items;
    const QPointer<SyncthingEngine> self(this);
    const std::optional<FailuresPage> read = co_await failuresPage(api, folderID);
    if (!read || !self)
        co_return std::nullopt;
    FailedItems items = read->failures;
    if (read->listed >= failuresRead)
        items.count += std::max<qint64>(listedCount - read->listed, 1);
    ReadFailures reading{listedCount, items, QElapsedTimer()};
    reading.age.start();
    m_readFailures.insert(folderID, std::move(reading));
    co_return items;
}

QCoro::Task<std::optional<SyncthingEngine::FailuresPage>> SyncthingEngine::failuresPage(SyncthingAPI api,
                                                                                         QString folderID)
{
    SyncthingAPI::QueryItems query;
    query.append({QStringLiteral("folder"), folderID});
    query.append({QStringLiteral("page"), QStringLiteral("1")});
    query.append({QStringLiteral("perpage"), QString::number(failuresRead)});
    QByteArray body;
    try {
        body = co_await api.send(api.prepare("GET", kFolderErrorsPath, query));
    } catch (...) {
        co_return std::nullopt;
    }
    co_return co_await QtConcurrent::run(&readFailuresPage, std::move(body));
}

std::optional<SyncthingEngine::FailuresPage> SyncthingEngine::readFailuresPage(const QByteArray &body)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonArray listed = document.object().value(QStringLiteral("errors")).toArray();
    FailuresPage result{{}, listed.size()};
    for (const QJsonValue &entry : listed) {
        const QJsonObject item = entry.toObject();
        ItemFailure failure{LooseJson::string(item.value(QStringLiteral("path"))).value_or(QString()),
                            LooseJson::string(item.value(QStringLiteral("error"))).value_or(QString())};
        if (failure.error.isEmpty() || waitsForDevice(failure.error) || xattrsRefused(failure.error))
            continue;
        ++result.failures.count;
        if (!result.failures.first)
            result.failures.first = std::move(failure);
    }
    return result;
}

// Only items that failed for a reason of their own make a folder fail; a
// list that cannot be read leaves Syncthing's count as it is.
QCoro::Task<FolderStatus> SyncthingEngine::withoutWaitingItems(SyncthingAPI api, FolderStatus status)
{
    if (status.errorCount <= 0)
        co_return status;
    if (const std::optional<FailedItems> failures = co_await itemFailures(api, status.id, status.errorCount))
        status.errorCount = failures->count;
    co_return status;
}

FolderStatus SyncthingEngine::mapStatus(const QString &id, const STFolderStatus &status)
{
    FolderStatus result;
    result.id = id;
    result.state = mapState(status.state);
    result.globalBytes = status.globalBytes.value_or(0);
    result.localBytes = status.localBytes.value_or(0);
    result.completion = localCompletion(result.globalBytes, result.localBytes);
    result.needBytes = status.needBytes.value_or(0);
    result.errorCount = status.errors.value_or(0);
    result.error = status.error.value_or(QString());
    result.stateWord = status.state.value_or(QString());
    result.needItems = status.needFiles.value_or(0);
    return result;
}

QCoro::Task<QMap<QString, ClusterNeed>> SyncthingEngine::clusterNeeds()
{
    const QString myID = co_await localDeviceID();
    const SyncthingAPI api = requireAPI();
    const QList<STFolderRead> folders = co_await api.getFolders();
    const STConnectionsResponse connections = co_await api.connections();
    QMap<QString, ClusterNeed> result;
    for (const STFolderRead &folder : folders) {
        ClusterNeed need;
        for (const STDeviceRef &device : folder.devices) {
            if (device.deviceID == myID)
                continue;
            ++need.peersTotal;
            if (!isConnected(connections, device.deviceID))
                continue;
            ++need.peersConnected;
            // One peer's unreadable completion must not hide the others'.
            try {
                const STCompletion completion = co_await api.completion(folder.id, device.deviceID);
                need.remoteNeedBytes += std::max<qint64>(completion.needBytes.value_or(0), 0);
            } catch (const std::exception &) {
            }
        }
        result.insert(folder.id, need);
    }
    co_return result;
}

QCoro::Task<double> SyncthingEngine::deviceCompletion(QString folderID, QString deviceID)
{
    const SyncthingAPI api = requireAPI();
    const STCompletion completion = co_await api.completion(folderID, deviceID);
    co_return completion.completion.value_or(0.0);
}

QCoro::Task<PeerCompletion> SyncthingEngine::peerCompletion(QString folderID, QString deviceID)
{
    const SyncthingAPI api = requireAPI();
    const STCompletion completion = co_await api.completion(folderID, deviceID);
    co_return PeerCompletion{completion.completion.value_or(0.0), completion.needBytes.value_or(0),
                             takesPart(completion.remoteState), completion.sequence.value_or(0)};
}

QCoro::Task<std::optional<QString>> SyncthingEngine::currentTransferName(QString folderID)
{
    const SyncthingAPI api = requireAPI();
    const STNeedResponse need = co_await api.need(folderID);
    std::optional<QString> name = firstName(need.progress);
    if (!name)
        name = firstName(need.queued);
    if (!name)
        co_return std::nullopt;
    co_return lastPathComponent(*name);
}

} // namespace tw
