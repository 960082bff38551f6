// One folder's ignore lines and archive on the node, and the bounce of the
// node's connection to one Mac.

#include "cluster/NasNodeController.h"

#include "engine/syncthing/rest/STIgnores.h"
#include "utilities/JsonDecodeError.h"

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

QCoro::Task<void> NasNodeController::addIgnore(QString folderID, QString pattern)
{
    if (m_nodes.isEmpty())
        co_return;
    const NasNode node = m_nodes.first();
    if (spansLines(pattern)) {
        fail(node, QStringLiteral("An ignore pattern can't hold a line break \u2014 it wasn't added on the always-on "
                                  "node."));
        co_return;
    }
    const KeyLookup lookup = co_await lookUpKey(node);
    if (!lookup.key)
        co_return;
    const NodeClient::QueryItems query = folderQuery(folderID);
    const QString path = QStringLiteral("/rest/db/ignores");
    std::optional<QStringList> lines =
        ignoreLines(co_await m_client.send(node.baseURL, *lookup.key, "GET", path, query));
    if (!lines) {
        fail(node, QStringLiteral("Couldn't read the always-on node's ignore patterns \u2014 the new one wasn't "
                                  "added."));
        co_return;
    }
    // First, as Syncthing applies the first line that matches: a line of the
    // node's own above it could let the subfolder's deletions through.
    if (lines->value(0) != pattern)
        lines->prepend(pattern);
    co_await m_client.send(node.baseURL, *lookup.key, "POST", path, query, ignoreBody(*lines));
}

QCoro::Task<void> NasNodeController::setFolderVersioning(QString folderID, int cleanoutDays)
{
    if (m_nodes.isEmpty())
        co_return;
    const NasNode node = m_nodes.first();
    const KeyLookup lookup = co_await lookUpKey(node);
    if (!lookup.key)
        co_return;
    co_await m_client.send(node.baseURL, *lookup.key, "PATCH", QStringLiteral("/rest/config/folders/") + folderID, {},
                           versioningBody(cleanoutDays));
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

// A device the user paused on the node stays paused.
QCoro::Task<void> NasNodeController::bounceOn(NasNode node, QString key, QString deviceID)
{
    const std::optional<QJsonObject> entry = co_await deviceEntry(node, key, deviceID);
    if (!entry || entry->value(QStringLiteral("paused")) == QJsonValue(true))
        co_return;
    const Sleeper sleeper = m_sleeper;
    co_await patchDevice(node, key, deviceID, pausedBody(true));
    co_await sleeper(std::chrono::seconds(2));
    co_await patchDevice(node, key, deviceID, pausedBody(false));
    if (!co_await stillPaused(node, key, deviceID))
        co_return;
    co_await patchDevice(node, key, deviceID, pausedBody(false));
    if (co_await stillPaused(node, key, deviceID))
        fail(node,
             QStringLiteral("The always-on node still has this Mac paused \u2014 open its web UI and resume it."));
}

QCoro::Task<bool> NasNodeController::stillPaused(NasNode node, QString key, QString deviceID)
{
    const std::optional<QJsonObject> entry = co_await deviceEntry(node, key, deviceID);
    co_return entry && entry->value(QStringLiteral("paused")) == QJsonValue(true);
}

} // namespace tw
