#include "cluster/NasNodeController.h"

#include "platform/Keychain.h"
#include "utilities/AssignIfChanged.h"
#include "utilities/JsonDecodeError.h"
#include "utilities/StrictJson.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QDateTime>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <array>

namespace tw {
namespace {

std::optional<QByteArray> readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

std::optional<QList<NasNode>> decodeNodes(const std::optional<QByteArray> &body)
{
    if (!body)
        return std::nullopt;
    try {
        return NasNode::listFromFile(*body);
    } catch (const JsonDecodeError &) {
        return std::nullopt;
    }
}

std::optional<NasNode> decodeLegacyNode(const std::optional<QByteArray> &body)
{
    if (!body)
        return std::nullopt;
    try {
        return NasNode::fromJson(StrictJson::parseObject(*body));
    } catch (const JsonDecodeError &) {
        return std::nullopt;
    }
}

QString unreachableText(const QString &base)
{
    return QStringLiteral("Couldn't reach the node at ") + base +
           QStringLiteral(". Check the address and API key (Syncthing \u2192 Actions \u2192 Settings \u2192 API Key).");
}

QJsonObject folderTemplate(const QString &root)
{
    QJsonObject params;
    params.insert(QStringLiteral("cleanoutDays"), QStringLiteral("0"));
    QJsonObject versioning;
    versioning.insert(QStringLiteral("type"), QStringLiteral("trashcan"));
    versioning.insert(QStringLiteral("params"), params);
    versioning.insert(QStringLiteral("cleanupIntervalS"), 3600);
    QJsonObject folder;
    folder.insert(QStringLiteral("path"), root);
    folder.insert(QStringLiteral("versioning"), versioning);
    folder.insert(QStringLiteral("fsWatcherEnabled"), true);
    folder.insert(QStringLiteral("rescanIntervalS"), 3600);
    folder.insert(QStringLiteral("ignorePerms"), true);
    return folder;
}

QJsonObject deviceTemplate()
{
    QJsonObject device;
    device.insert(QStringLiteral("autoAcceptFolders"), false);
    return device;
}

QString newClusterSecret()
{
    std::array<quint32, 8> words;
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    const QByteArray bytes(reinterpret_cast<const char *>(words.data()), sizeof(words));
    return QString::fromLatin1(bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

} // namespace

NasNodeController::NasNodeController(Keychain &keychain, AppPaths paths, Sleeper sleeper, QObject *parent)
    : QObject(parent), m_keychain(keychain), m_sleeper(std::move(sleeper)),
      m_storePath(paths.file(QStringLiteral("nasnodes.json"))),
      m_legacyStorePath(paths.file(QStringLiteral("nasnode.json")))
{
    QDir().mkpath(paths.root());
    load();
}

// A node list that can't be read is moved aside, never replaced by the older
// single-node file (which stays behind after its migration) nor by the next
// registration: the nodes in it would be lost.
void NasNodeController::load()
{
    if (QFileInfo::exists(m_storePath)) {
        if (const std::optional<QList<NasNode>> nodes = decodeNodes(readFile(m_storePath))) {
            m_nodes = *nodes;
            return;
        }
        const QString aside = m_storePath + QStringLiteral(".corrupt-%1").arg(QDateTime::currentSecsSinceEpoch());
        m_storeBlocked = !QFile::rename(m_storePath, aside);
        setLastError(m_storeBlocked ? QStringLiteral("The list of always-on nodes can't be read.")
                                    : QStringLiteral("The list of always-on nodes couldn't be read and was "
                                                     "kept as %1.").arg(QFileInfo(aside).fileName()));
        return;
    }
    if (const std::optional<NasNode> node = decodeLegacyNode(readFile(m_legacyStorePath))) {
        m_nodes = {*node};
        m_legacyKeyPending = true;
    }
}

QSet<QString> NasNodeController::deviceIDs() const
{
    QSet<QString> ids;
    for (const NasNode &node : m_nodes)
        ids.insert(node.deviceID);
    return ids;
}

std::optional<QString> NasNodeController::purgeSecret() const
{
    if (m_cachedTeamKey && !m_cachedTeamKey->isEmpty())
        return m_cachedTeamKey;
    if (m_nodes.size() == 1 && m_cachedNodeKeys.contains(m_nodes.first().deviceID))
        return m_cachedNodeKeys.value(m_nodes.first().deviceID);
    return std::nullopt;
}

QString NasNodeController::normalize(const QString &address)
{
    QString text = address.trimmed();
    const bool hasScheme = text.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
                           text.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
    if (!hasScheme)
        text.prepend(QLatin1String("http://"));
    while (text.endsWith(QLatin1Char('/')))
        text.chop(1);
    return text;
}

// Written only once the older key has moved: a keychain that could not be
// reached at this start is tried again at the next.
QCoro::Task<void> NasNodeController::migrateLegacyKey()
{
    if (m_legacyKeyPending && !m_nodes.isEmpty()) {
        const NasNode node = m_nodes.first();
        try {
            const std::optional<QString> legacy = co_await m_keychain.get(legacyKeychainAccount);
            if (legacy) {
                co_await m_keychain.set(*legacy, keyAccount(node.deviceID));
                co_await m_keychain.remove(legacyKeychainAccount);
            }
        } catch (const KeychainUnavailable &) {
            reportKeychainUnavailable();
            co_return;
        }
        persist();
    }
    co_await refreshSecrets();
}

QCoro::Task<bool> NasNodeController::configure(QString baseURL, QString apiKey, QString name)
{
    const QString base = normalize(baseURL);
    const QString key = apiKey.trimmed();
    const NodeClient::Read<QString> id = co_await m_client.fetchDeviceID(base, key);
    if (!id) {
        setLastError(id.outcome == NodeClient::Outcome::TooLarge ? NodeClient::tooLargeText : unreachableText(base));
        setReachable(false);
        co_return false;
    }
    const bool stored = co_await storeKeys(key, *id, m_nodes);
    if (!stored)
        co_return false;
    QList<NasNode> registered;
    registered.append(NasNode{base, *id, name.isEmpty() ? defaultName : name});
    setNodes(registered);
    persist();
    co_await applyDefaults(base, key);
    setReachable(true);
    setLastError(std::nullopt);
    co_await refreshSecrets();
    co_return true;
}

// The new key is stored before the old ones go, so a keychain that fails
// half-way never leaves a registered node without its key.
QCoro::Task<bool> NasNodeController::storeKeys(QString key, QString deviceID, QList<NasNode> previous)
{
    try {
        co_await m_keychain.set(key, keyAccount(deviceID));
        for (const NasNode &node : previous) {
            if (node.deviceID != deviceID)
                co_await m_keychain.remove(keyAccount(node.deviceID));
        }
    } catch (const KeychainUnavailable &) {
        reportKeychainUnavailable();
        co_return false;
    }
    co_return true;
}

QCoro::Task<void> NasNodeController::applyDefaults(QString base, QString key)
{
    co_await m_client.send(base, key, "PATCH", QStringLiteral("/rest/config/defaults/folder"), NodeClient::noQuery,
                           folderTemplate(m_folderRoot));
    co_await m_client.send(base, key, "PATCH", QStringLiteral("/rest/config/defaults/device"), NodeClient::noQuery,
                           deviceTemplate());
}

QCoro::Task<void> NasNodeController::remove()
{
    const QList<NasNode> nodes = m_nodes;
    try {
        for (const NasNode &node : nodes) {
            const std::optional<QString> key = co_await m_keychain.get(keyAccount(node.deviceID));
            if (key)
                co_await deleteClusterFolders(node, *key);
        }
        for (const NasNode &node : nodes)
            co_await m_keychain.remove(keyAccount(node.deviceID));
    } catch (const KeychainUnavailable &) {
        reportKeychainUnavailable();
        co_return;
    }
    setNodes({});
    setReachable(false);
    // What a node let go of failed at no longer stands; an unreadable list
    // of nodes still does.
    if (!m_storeBlocked)
        setLastError(std::nullopt);
    persist();
    co_await refreshSecrets();
}

QCoro::Task<void> NasNodeController::deleteClusterFolders(NasNode node, QString key)
{
    const QStringList ids = co_await clusterFolderIDs(node, key);
    for (const QString &id : ids)
        co_await deleteFolder(node, key, id);
}

QCoro::Task<QStringList> NasNodeController::clusterFolderIDs(NasNode node, QString key)
{
    const std::optional<NodeClient::FolderDevices> folders = co_await m_client.listFolderDevices(node.baseURL, key);
    QStringList ids;
    for (const QString &id : folders.value_or(NodeClient::FolderDevices()).keys()) {
        if (id.startsWith(clusterFolderPrefix))
            ids.append(id);
    }
    co_return ids;
}

QCoro::Task<bool> NasNodeController::ping()
{
    if (m_nodes.isEmpty()) {
        setReachable(false);
        co_return false;
    }
    const NasNode node = m_nodes.first();
    const KeyLookup lookup = co_await lookUpKey(node);
    if (lookup.keychainUnavailable)
        co_return false;
    if (!lookup.key) {
        setReachable(false);
        co_return false;
    }
    const bool answered = (co_await m_client.fetchDeviceID(node.baseURL, *lookup.key)).value.has_value();
    setReachable(answered);
    co_return answered;
}

QCoro::Task<std::optional<QString>> NasNodeController::generateClusterSecret()
{
    const QString secret = newClusterSecret();
    try {
        co_await m_keychain.set(secret, clusterSecretAccount);
    } catch (const KeychainUnavailable &) {
        reportKeychainUnavailable();
        co_return std::nullopt;
    }
    co_await refreshSecrets();
    co_return secret;
}

QCoro::Task<void> NasNodeController::importClusterSecret(QString secret)
{
    const QString trimmed = secret.trimmed();
    if (trimmed.isEmpty())
        co_return;
    try {
        co_await m_keychain.set(trimmed, clusterSecretAccount);
    } catch (const KeychainUnavailable &) {
        reportKeychainUnavailable();
        co_return;
    }
    co_await refreshSecrets();
}

QCoro::Task<std::optional<QString>> NasNodeController::nodeKey(NasNode node)
{
    return m_keychain.get(keyAccount(node.deviceID));
}

QCoro::Task<NasNodeController::KeyLookup> NasNodeController::lookUpKey(NasNode node)
{
    try {
        const std::optional<QString> key = co_await m_keychain.get(keyAccount(node.deviceID));
        co_return KeyLookup{false, key};
    } catch (const KeychainUnavailable &) {
        reportKeychainUnavailable();
        co_return KeyLookup{true, std::nullopt};
    }
}

// Secrets are dropped from the cache when the keychain cannot be read: a
// stale key must not keep authorising purges.
QCoro::Task<void> NasNodeController::refreshSecrets()
{
    const QList<NasNode> nodes = m_nodes;
    std::optional<QString> teamKey;
    QMap<QString, QString> nodeKeys;
    try {
        teamKey = co_await m_keychain.get(clusterSecretAccount);
        for (const NasNode &node : nodes) {
            const std::optional<QString> key = co_await m_keychain.get(keyAccount(node.deviceID));
            if (key)
                nodeKeys.insert(node.deviceID, *key);
        }
    } catch (const KeychainUnavailable &) {
        reportKeychainUnavailable();
        teamKey.reset();
        nodeKeys.clear();
    }
    m_cachedNodeKeys = nodeKeys;
    assignIfChanged(m_cachedTeamKey, teamKey, this, &NasNodeController::teamKeyChanged);
}

void NasNodeController::persist()
{
    m_legacyKeyPending = false;
    if (m_storeBlocked)
        return;
    QSaveFile file(m_storePath);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(NasNode::listToFile(m_nodes));
    file.commit();
}

void NasNodeController::updateAggregateReachability()
{
    bool all = !m_nodes.isEmpty();
    for (const NasNode &node : m_nodes)
        all = all && m_nodeReachable.value(node.deviceID, false);
    setReachable(all);
}

void NasNodeController::fail(const NasNode &node, const QString &message)
{
    // A request under way when its node was let go of failed at nothing that
    // still stands.
    if (std::none_of(m_nodes.cbegin(), m_nodes.cend(),
                     [&node](const NasNode &listed) { return listed.deviceID == node.deviceID; }))
        return;
    NodeErrorMap errors = m_nodeErrors;
    errors.insert(node.deviceID, message);
    setNodeErrors(errors);
    setLastError(m_nodes.size() < 2 ? message : node.name + QStringLiteral(": ") + message);
}

void NasNodeController::reportKeychainUnavailable()
{
    setLastError(keychainUnavailableText);
}

void NasNodeController::setNodes(QList<NasNode> nodes)
{
    assignIfChanged(m_nodes, std::move(nodes), this, &NasNodeController::nodesChanged);
}

void NasNodeController::setReachable(bool reachable)
{
    assignIfChanged(m_reachable, reachable, this, &NasNodeController::reachableChanged);
}

void NasNodeController::setLastError(std::optional<QString> text)
{
    assignIfChanged(m_lastError, std::move(text), this, &NasNodeController::lastErrorChanged);
}

void NasNodeController::setNodeErrors(NodeErrorMap errors)
{
    assignIfChanged(m_nodeErrors, std::move(errors), this, &NasNodeController::nodeErrorsChanged);
}

void NasNodeController::setNodeReachable(const QString &deviceID, bool reachable)
{
    insertIfChanged(m_nodeReachable, deviceID, reachable, this, &NasNodeController::nodeReachableChanged);
}

} // namespace tw
