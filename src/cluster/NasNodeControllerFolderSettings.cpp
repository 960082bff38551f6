// One folder's ignore lines and archive on the node, and the bounce of the
// node's connection to one Mac.

#include "cluster/NasNodeController.h"

#include "engine/syncthing/rest/STIgnores.h"
#include "utilities/JsonDecodeError.h"

#include <QPointer>
#include <algorithm>
#include <chrono>

namespace tw {
namespace {

// A missing or null list is an empty one; a body of another shape gives no
// list, so that nothing is written over lines that could not be read.
std::optional<QStringList> ignoreLines(const NodeClient::Answer &answer)
{
    if (!answer.accepted())
        return std::nullopt;
    try {
        return STIgnores::fromJsonBody(answer.body).ignore.value_or(QStringList());
    } catch (const JsonDecodeError &) {
        return std::nullopt;
    }
}

bool spansLines(const QString &pattern)
{
    return pattern.contains(QLatin1Char('\r')) || pattern.contains(QLatin1Char('\n')) ||
           pattern.contains(QChar(u'\0'));
}

NodeClient::QueryItems folderQuery(const QString &folderID)
{
    return {{QStringLiteral("folder"), folderID}};
}

QJsonObject ignoreBody(const QStringList &lines)
{
    QJsonObject body;
    body.insert(QStringLiteral("ignore"), QJsonArray::fromStringList(lines));
    return body;
}

QJsonObject versioningBody(int cleanoutDays)
{
    QJsonObject versioning;
    if (cleanoutDays < 0) {
        versioning.insert(QStringLiteral("type"), QString());
    } else {
        QJsonObject params;
        params.insert(QStringLiteral("cleanoutDays"), QString::number(cleanoutDays));
        versioning.insert(QStringLiteral("type"), QStringLiteral("trashcan"));
        versioning.insert(QStringLiteral("params"), params);
        versioning.insert(QStringLiteral("cleanupIntervalS"), 3600);
    }
    QJsonObject body;
    body.insert(QStringLiteral("versioning"), versioning);
    return body;
}

QJsonObject pausedBody(bool paused)
{
    QJsonObject body;
    body.insert(QStringLiteral("paused"), paused);
    return body;
}

bool servesDevice(const NodeClient::FolderDevices &folders, const QSet<QString> &folderIDs, const QString &deviceID)
{
    for (const QString &id : folderIDs) {
        for (const QJsonObject &entry : folders.value(id)) {
            if (entry.value(QStringLiteral("deviceID")) == QJsonValue(deviceID))
                return true;
        }
    }
    return false;
}

} // namespace

QCoro::Task<bool> NasNodeController::addIgnore(QString folderID, QString pattern)
{
    if (m_nodes.isEmpty())
        co_return false;
    const NasNode node = m_nodes.first();
    if (spansLines(pattern)) {
        fail(node, QStringLiteral("An ignore pattern can't hold a line break \u2014 it wasn't added on the always-on "
                                  "node."));
        co_return false;
    }
    const KeyLookup lookup = co_await lookUpKey(node);
    if (!lookup.key)
        co_return false;
    const NodeClient::QueryItems query = folderQuery(folderID);
    const QString path = QStringLiteral("/rest/db/ignores");
    std::optional<QStringList> lines =
        ignoreLines(co_await m_client.send(node.baseURL, *lookup.key, "GET", path, query));
    if (!lines) {
        fail(node, QStringLiteral("Couldn't read the always-on node's ignore patterns \u2014 the new one wasn't "
                                  "added."));
        co_return false;
    }
    // First, as Syncthing applies the first line that matches: a line of the
    // node's own above it could let the subfolder's deletions through.
    if (lines->value(0) != pattern)
        lines->prepend(pattern);
    const NodeClient::Answer written =
        co_await m_client.send(node.baseURL, *lookup.key, "POST", path, query, ignoreBody(*lines));
    co_return written.accepted();
}

QCoro::Task<void> NasNodeController::setFolderVersioning(QString folderID, int cleanoutDays)
{
    if (m_nodes.isEmpty())
        co_return;
    const NasNode node = m_nodes.first();
    const KeyLookup lookup = co_await lookUpKey(node);
    if (!lookup.key)
        co_return;
    co_await m_client.send(node.baseURL, *lookup.key, "PATCH", QStringLiteral("/rest/config/folders/") + folderID,
                           NodeClient::noQuery, versioningBody(cleanoutDays));
}

QCoro::Task<void> NasNodeController::bounceDevice(QString deviceID, QSet<QString> servingFolderIDs)
{
    if (deviceID.isEmpty() || servingFolderIDs.isEmpty())
        co_return;
    const QList<NasNode> nodes = m_nodes;
    for (const NasNode &node : nodes) {
        if (node.deviceID == deviceID)
            continue;
        const KeyLookup lookup = co_await lookUpKey(node);
        if (lookup.keychainUnavailable)
            co_return;
        if (!lookup.key)
            continue;
        const std::optional<NodeClient::FolderDevices> folders =
            co_await m_client.listFolderDevices(node.baseURL, *lookup.key);
        if (folders && servesDevice(*folders, servingFolderIDs, deviceID))
            co_await bounceOn(node, *lookup.key, deviceID);
    }
}

// A device the user paused on the node stays paused. The bounce is recorded
// before the pause and forgotten once the device is seen resumed.
QCoro::Task<void> NasNodeController::bounceOn(NasNode node, QString key, QString deviceID)
{
    const std::optional<QJsonObject> entry = co_await deviceEntry(node, key, deviceID);
    if (!entry || entry->value(QStringLiteral("paused")) == QJsonValue(true))
        co_return;
    const QPointer<NasNodeController> self(this);
    const BounceRecord::Entry bounce{deviceID, node.deviceID};
    if (m_bounces)
        m_bounces->add(bounce);
    const Sleeper sleeper = m_sleeper;
    co_await patchDevice(node, key, deviceID, pausedBody(true));
    co_await sleeper(std::chrono::seconds(2));
    if (!self)
        co_return;
    DeviceState state = co_await resume(node, key, deviceID);
    if (self && state == DeviceState::Paused)
        state = co_await resume(node, key, deviceID);
    if (!self)
        co_return;
    if (state == DeviceState::Paused)
        fail(node,
             QStringLiteral("The always-on node still has this Mac paused \u2014 open its web UI and resume it."));
    // A node that could not be read keeps the bounce for the next start.
    if (m_bounces && (state == DeviceState::Running || state == DeviceState::Gone))
        m_bounces->remove(bounce);
}

QCoro::Task<NasNodeController::DeviceState> NasNodeController::resume(NasNode node, QString key, QString deviceID)
{
    co_await patchDevice(node, key, deviceID, pausedBody(false));
    const std::optional<QList<QJsonObject>> devices = co_await m_client.listDevices(node.baseURL, key);
    if (!devices)
        co_return DeviceState::Unknown;
    for (const QJsonObject &device : *devices) {
        if (device.value(QStringLiteral("deviceID")) == QJsonValue(deviceID))
            co_return device.value(QStringLiteral("paused")) == QJsonValue(true) ? DeviceState::Paused
                                                                                : DeviceState::Running;
    }
    co_return DeviceState::Gone;
}

// Detached at start-up: holds the controller only through a guard.
QCoro::Task<void> NasNodeController::resumeUnfinishedBounces()
{
    const QPointer<NasNodeController> self(this);
    const QList<BounceRecord::Entry> bounces = m_bounces ? m_bounces->entries() : QList<BounceRecord::Entry>();
    for (const BounceRecord::Entry &bounce : bounces) {
        if (!self)
            co_return;
        if (bounce.node.isEmpty())
            continue;  // this Mac's own engine: the syncs' controller resumes those
        const auto node = std::find_if(m_nodes.cbegin(), m_nodes.cend(),
                                       [&bounce](const NasNode &candidate) { return candidate.deviceID == bounce.node; });
        if (node == m_nodes.cend()) {
            m_bounces->remove(bounce);
            continue;
        }
        const NasNode held = *node;
        const KeyLookup lookup = co_await lookUpKey(held);
        if (!self || lookup.keychainUnavailable)
            co_return;
        DeviceState state = DeviceState::Gone;  // a node without its key can't be asked again
        if (lookup.key)
            state = co_await resume(held, *lookup.key, bounce.device);
        if (self && (state == DeviceState::Running || state == DeviceState::Gone))
            m_bounces->remove(bounce);
    }
}

} // namespace tw
