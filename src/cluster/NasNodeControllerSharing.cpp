// The node's member devices and folder shares.

#include "cluster/NasNodeController.h"
#include "utilities/IsolatedName.h"

#include <QCryptographicHash>
#include <QPointer>
#include <QDir>
#include <QFile>
#include <QTextBoundaryFinder>
#include <algorithm>
#include <climits>

namespace tw {
namespace {

const QString kUnreachable = QStringLiteral("Couldn't reach the always-on node \u2014 it may be offline.");

QString unreachable(NodeClient::Outcome outcome)
{
    return outcome == NodeClient::Outcome::TooLarge ? NodeClient::tooLargeText : kUnreachable;
}

QString idOf(const QJsonObject &entry)
{
    const QJsonValue id = entry.value(QStringLiteral("deviceID"));
    return id.isString() ? id.toString() : QString();
}

bool isTrue(const QJsonObject &object, const QString &key) { return object.value(key) == QJsonValue(true); }

QJsonObject onlyFlag(const QString &key, bool value)
{
    QJsonObject object;
    object.insert(key, value);
    return object;
}

QStringList sortedUnique(QStringList ids)
{
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    return ids;
}

QStringList entryIDs(const QList<QJsonObject> &entries)
{
    QStringList ids;
    for (const QJsonObject &entry : entries) {
        if (entry.value(QStringLiteral("deviceID")).isString())
            ids.append(idOf(entry));
    }
    return sortedUnique(ids);
}

QJsonObject newDeviceEntry(const QString &id)
{
    QJsonObject entry;
    entry.insert(QStringLiteral("deviceID"), id);
    entry.insert(QStringLiteral("introducedBy"), QString());
    entry.insert(QStringLiteral("encryptionPassword"), QString());
    return entry;
}

// Syncthing applies a device list element by element onto its stored, sorted
// one, so a field left out would be taken from whichever device held that
// place before. Every entry therefore goes in full: kept devices exactly as
// the node returned them (introducer and password included), new ones with
// both fields empty.
QJsonArray replacementList(const QStringList &desired, const QList<QJsonObject> &current)
{
    QJsonArray list;
    for (const QString &id : desired) {
        const auto kept = std::find_if(current.begin(), current.end(),
                                       [&](const QJsonObject &entry) { return idOf(entry) == id; });
        list.append(kept == current.end() ? newDeviceEntry(id) : *kept);
    }
    return list;
}

QJsonObject registration(const QString &deviceID, const QString &name)
{
    QJsonObject device;
    device.insert(QStringLiteral("deviceID"), deviceID);
    device.insert(QStringLiteral("name"), name.isEmpty() ? QStringLiteral("Mac") : name);
    device.insert(QStringLiteral("addresses"), QJsonArray{QStringLiteral("dynamic")});
    device.insert(QStringLiteral("autoAcceptFolders"), false);
    return device;
}

QString joinPath(QString location, const QString &component)
{
    while (location.endsWith(QLatin1Char('/')))
        location.chop(1);
    return location + QLatin1Char('/') + component;
}

// Paths as the node's file system would tell them apart at most: a NAS share
// may not tell letter case apart.
QString pathKey(const QString &path)
{
    return QDir::cleanPath(path).toCaseFolded();
}

QSet<QString> folderPathKeys(const QList<QJsonObject> &folders)
{
    QSet<QString> keys;
    for (const QJsonObject &folder : folders) {
        const QJsonValue path = folder.value(QStringLiteral("path"));
        if (path.isString())
            keys.insert(pathKey(path.toString()));
    }
    return keys;
}

QJsonObject folderFromTemplate(QJsonObject folder, const QString &id, const QString &label, const QString &path,
                               const QStringList &devices)
{
    folder.insert(QStringLiteral("id"), id);
    folder.insert(QStringLiteral("label"), label);
    folder.insert(QStringLiteral("path"), path);
    folder.insert(QStringLiteral("paused"), false);
    folder.insert(QStringLiteral("devices"), replacementList(devices, {}));
    return folder;
}

bool usableName(const QString &name)
{
    return std::any_of(name.begin(), name.end(), [](QChar c) { return c != QLatin1Char('.'); });
}

// Characters go by their first code point: a solidus carrying a combining
// mark is still a path separator on the node.
bool dropped(char32_t first)
{
    return first < 0x20 || (first < 0x80 && QLatin1String("<>:\"'/\\|?*").contains(QLatin1Char(char(first))));
}

// The label as one path component of at most `budget` bytes: a teammate's
// label can be longer than a file name may be, and the folder could then
// never be created here or on the node. It starts with neither a dot nor a
// space: a teammate's "../../x" or ".x" would make a hidden folder here, and
// what is left of a path's dots and separators reads as one.
QString sanitizedWithin(const QString &label, qsizetype budget)
{
    QString name;
    qsizetype bytes = 0;
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, label);
    qsizetype start = 0;
    while (graphemes.toNextBoundary() != -1) {
        QString grapheme = label.mid(start, graphemes.position() - start);
        start = graphemes.position();
        const char32_t first = grapheme.toUcs4().value(0);
        if (name.isEmpty() && (first == U'.' || QChar::isSpace(first)))
            continue;
        if (QChar::isSpace(first) && grapheme != QLatin1String(" "))
            grapheme = QStringLiteral(" ");
        else if (grapheme != QLatin1String(".") && dropped(first))
            continue;
        bytes += QFile::encodeName(grapheme).size();
        if (bytes > budget)
            break;
        name += grapheme;
    }
    while (name.endsWith(QLatin1Char(' ')))
        name.chop(1);
    return name;
}

// Two node folders at one path would pass each one's files and deletions to
// the other's Macs, and the node accepts that: a name in use gets the folder
// ID, then a number, after it.
QString unusedPath(const QString &location, const QString &name, const QString &folderID, const QSet<QString> &taken)
{
    // Half a file name for the ID leaves the label its start; the number
    // keeps names apart where the ID's cut start does not.
    const QString suffix = sanitizedWithin(NasNodeController::folderNameComponent(folderID, folderID), NAME_MAX / 2);
    QString path = joinPath(location, name);
    for (int n = 1; taken.contains(pathKey(path)); ++n) {
        const QString tag = n == 1 ? suffix : suffix + QLatin1Char(' ') + QString::number(n);
        const QString tail = QStringLiteral(" (") + tag + QLatin1Char(')');
        path = joinPath(location, sanitizedWithin(name, NAME_MAX - QFile::encodeName(tail).size()) + tail);
    }
    return path;
}

} // namespace

QString NasNodeController::sanitizeFolderName(const QString &label)
{
    return sanitizedWithin(label, NAME_MAX);
}

// "." or ".." would place the folder at the default location itself or at
// its parent.
QString NasNodeController::folderNameComponent(const QString &label, const QString &folderID)
{
    for (const QString &candidate : {sanitizeFolderName(label), sanitizeFolderName(folderID)}) {
        if (usableName(candidate))
            return candidate;
    }
    const QByteArray digest = QCryptographicHash::hash(folderID.toUtf8(), QCryptographicHash::Sha256).toHex();
    return QStringLiteral("folder-") + QString::fromLatin1(digest.left(12));
}

template <typename Wanted>
QCoro::Task<void> NasNodeController::onEachNode(QCoro::Task<void> (NasNodeController::*step)(NasNode, QString, Wanted),
                                                Wanted wanted)
{
    const QPointer<NasNodeController> self(this);
    const QList<NasNode> nodes = m_nodes;
    for (const NasNode &node : nodes) {
        const KeyLookup lookup = co_await lookUpKey(node);
        if (!self || lookup.keychainUnavailable)
            co_return;
        if (lookup.key)
            co_await (this->*step)(node, *lookup.key, wanted);
        if (!self)
            co_return;
    }
    updateAggregateReachability();
}

bool NasNodeController::reached(const NasNode &node, bool answered, NodeClient::Outcome outcome)
{
    setNodeReachable(node.deviceID, answered);
    if (!answered)
        fail(node, unreachable(outcome));
    return answered;
}

QCoro::Task<void> NasNodeController::reconcileMembers(QMap<QString, QString> members)
{
    setNodeErrors({});
    setLastError(std::nullopt);
    co_await onEachNode(&NasNodeController::reconcileMembersOn, members);
}

QCoro::Task<void> NasNodeController::reconcileMembersOn(NasNode node, QString key, QMap<QString, QString> members)
{
    const QPointer<NasNodeController> self(this);
    const NodeClient::Read<QList<QJsonObject>> devices = co_await m_client.listDevices(node.baseURL, key);
    if (!self || !reached(node, bool(devices), devices.outcome))
        co_return;
    co_await healDeviceTemplate(node, key);
    const QStringList known = entryIDs(*devices);
    for (const QString &id : members.keys()) {
        if (!self)
            co_return;
        if (id != node.deviceID && !id.isEmpty() && !known.contains(id))
            co_await addDevice(node, key, id, members.value(id));
    }
    for (const QJsonObject &device : *devices) {
        if (!self)
            co_return;
        const QString id = idOf(device);
        if (device.value(QStringLiteral("deviceID")).isString() && id != node.deviceID &&
            isTrue(device, QStringLiteral("autoAcceptFolders")))
            co_await patchDevice(node, key, id, onlyFlag(QStringLiteral("autoAcceptFolders"), false));
    }
}

QCoro::Task<void> NasNodeController::healDeviceTemplate(NasNode node, QString key)
{
    const QString path = QStringLiteral("/rest/config/defaults/device");
    const QPointer<NasNodeController> self(this);
    const std::optional<QJsonObject> device = co_await m_client.getObject(node.baseURL, key, path);
    if (self && device && isTrue(*device, QStringLiteral("autoAcceptFolders")))
        co_await m_client.send(node.baseURL, key, "PATCH", path, NodeClient::noQuery,
                               onlyFlag(QStringLiteral("autoAcceptFolders"), false));
}

QCoro::Task<void> NasNodeController::addDevice(NasNode node, QString key, QString deviceID, QString name)
{
    const QJsonObject body = registration(deviceID, name);
    const QPointer<NasNodeController> self(this);
    const NodeClient::Answer answer =
        co_await m_client.send(node.baseURL, key, "POST", QStringLiteral("/rest/config/devices"), NodeClient::noQuery,
                               body);
    if (!self)
        co_return;
    const QString prefix =
        QStringLiteral("Couldn't register ") + isolatedName(name) + QStringLiteral(" on the always-on node");
    if (answer.outcome == NodeClient::Outcome::NotSent)
        fail(node, prefix + QLatin1Char('.'));
    else if (!answer.accepted())
        fail(node, prefix + QStringLiteral(" \u2014 it may be offline."));
}

QCoro::Task<void> NasNodeController::shareFolders(QMap<QString, NodeFolderShare> wanted)
{
    co_await onEachNode(&NasNodeController::shareFoldersOn, wanted);
}

QCoro::Task<void> NasNodeController::shareFoldersOn(NasNode node, QString key, QMap<QString, NodeFolderShare> wanted)
{
    const QPointer<NasNodeController> self(this);
    const NodeClient::Read<NodeClient::FolderDevices> folders = co_await m_client.listFolderDevices(node.baseURL, key);
    if (!self || !reached(node, bool(folders), folders.outcome))
        co_return;
    for (const QString &id : wanted.keys()) {
        if (!self)
            co_return;
        const NodeFolderShare share = wanted.value(id);
        const QStringList desired = sortedUnique(share.members + QStringList(node.deviceID));
        if (!folders->contains(id)) {
            co_await createFolder(node, key, id, share.label, desired);
            continue;
        }
        const QList<QJsonObject> entries = folders->value(id);
        if (entryIDs(entries) == desired)
            continue;
        const QJsonArray list = replacementList(desired, entries);
        const bool accepted = co_await patchFolderDevices(node, key, id, list);
        if (self && accepted)
            co_await verifyFolderDevices(node, key, id, desired, list);
    }
}

QCoro::Task<void> NasNodeController::createFolder(NasNode node, QString key, QString folderID, QString label,
                                                  QStringList devices)
{
    const QPointer<NasNodeController> self(this);
    const std::optional<QJsonObject> defaults =
        co_await m_client.getObject(node.baseURL, key, QStringLiteral("/rest/config/defaults/folder"));
    if (!self)
        co_return;
    if (!defaults) {
        fail(node, QStringLiteral("Couldn't read the always-on node's folder defaults."));
        co_return;
    }
    const QJsonValue location = defaults->value(QStringLiteral("path"));
    if (!location.isString() || location.toString().isEmpty()) {
        fail(node, QStringLiteral("The always-on node has no default folder location set \u2014 can't create the "
                                  "folder there."));
        co_return;
    }
    const NodeClient::Read<QList<QJsonObject>> existing = co_await m_client.listFolders(node.baseURL, key);
    if (!self)
        co_return;
    if (!existing) {
        fail(node, unreachable(existing.outcome));
        co_return;
    }
    const QString path =
        unusedPath(location.toString(), folderNameComponent(label, folderID), folderID, folderPathKeys(*existing));
    const QJsonObject body = folderFromTemplate(*defaults, folderID, label, path, devices);
    const NodeClient::Answer answer =
        co_await m_client.send(node.baseURL, key, "PUT", QStringLiteral("/rest/config/folders/") + folderID,
                               NodeClient::noQuery, body);
    if (!self)
        co_return;
    if (answer.outcome == NodeClient::Outcome::NotSent)
        fail(node, QStringLiteral("Couldn't create the folder on the always-on node."));
    else if (!answer.accepted())
        fail(node, QStringLiteral("Couldn't create the folder on the always-on node \u2014 it may be offline."));
}

QCoro::Task<bool> NasNodeController::patchFolderDevices(NasNode node, QString key, QString folderID,
                                                        QJsonArray devices)
{
    QJsonObject body;
    body.insert(QStringLiteral("devices"), devices);
    const QPointer<NasNodeController> self(this);
    const NodeClient::Answer answer = co_await m_client.send(
        node.baseURL, key, "PATCH", QStringLiteral("/rest/config/folders/") + folderID, NodeClient::noQuery, body);
    if (!self)
        co_return false;
    if (answer.outcome == NodeClient::Outcome::NotSent)
        fail(node, QStringLiteral("Couldn't update the always-on node's folders."));
    else if (!answer.accepted())
        fail(node, QStringLiteral("Couldn't share a folder with the always-on node \u2014 it may be offline."));
    co_return answer.accepted();
}

// One more replacement when removed devices are still listed, then a message.
QCoro::Task<void> NasNodeController::verifyFolderDevices(NasNode node, QString key, QString folderID,
                                                         QStringList desired, QJsonArray devices)
{
    const QPointer<NasNodeController> self(this);
    for (bool repeat = true;; repeat = false) {
        const std::optional<NodeClient::FolderDevices> folders =
            co_await m_client.listFolderDevices(node.baseURL, key);
        if (!self || !folders || !folders->contains(folderID))
            co_return;
        QStringList leftover = entryIDs(folders->value(folderID));
        leftover.removeIf([&](const QString &id) { return desired.contains(id); });
        if (leftover.isEmpty())
            co_return;
        if (!repeat) {
            fail(node, QStringLiteral("The always-on node still shares a folder with %1 removed device(s) \u2014 the "
                                      "removal didn't stick.")
                           .arg(leftover.size()));
            co_return;
        }
        co_await patchFolderDevices(node, key, folderID, devices);
        if (!self)
            co_return;
    }
}

QCoro::Task<std::optional<QJsonObject>> NasNodeController::deviceEntry(NasNode node, QString key, QString deviceID)
{
    const std::optional<QList<QJsonObject>> devices = co_await m_client.listDevices(node.baseURL, key);
    for (const QJsonObject &device : devices.value_or(QList<QJsonObject>())) {
        if (device.value(QStringLiteral("deviceID")) == QJsonValue(deviceID))
            co_return device;
    }
    co_return std::nullopt;
}

QCoro::Task<void> NasNodeController::patchDevice(NasNode node, QString key, QString deviceID, QJsonObject json)
{
    co_await m_client.send(node.baseURL, key, "PATCH", QStringLiteral("/rest/config/devices/") + deviceID,
                           NodeClient::noQuery, json);
}

QCoro::Task<void> NasNodeController::deleteFolder(NasNode node, QString key, QString folderID)
{
    co_await m_client.send(node.baseURL, key, "DELETE", QStringLiteral("/rest/config/folders/") + folderID);
}

} // namespace tw
