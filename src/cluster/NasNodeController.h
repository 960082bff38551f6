#pragma once

#include "cluster/BounceRecord.h"
#include "cluster/NasNode.h"
#include "cluster/NodeClient.h"
#include "cluster/NodeFolderShare.h"
#include "utilities/AppPaths.h"
#include "utilities/Sleeper.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <qcoro/qcorotask.h>
#include <optional>

namespace tw {

class Keychain;
class UserDefaults;

using NodeErrorMap = QMap<QString, QString>;
using NodeReachabilityMap = QMap<QString, bool>;

// The always-on nodes: their list (kept in "nasnodes.json"), their API keys
// and the team key in the keychain, and every operation this Mac performs on
// a node over its REST interface. Main thread only; nothing here throws:
// registration and the reachability check answer a Boolean, every other
// operation reports through nodeErrors and lastError.
//
// The keychain answers asynchronously, so the values read synchronously
// (purgeSecret) are cached after each change. When the keychain cannot be
// reached, no operation goes on as if a key were missing: it stops, and
// lastError says why.
class NasNodeController : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QList<tw::NasNode> nodes READ nodes NOTIFY nodesChanged)
    Q_PROPERTY(bool reachable READ reachable NOTIFY reachableChanged)
    Q_PROPERTY(std::optional<QString> lastError READ lastError NOTIFY lastErrorChanged)
    Q_PROPERTY(tw::NodeErrorMap nodeErrors READ nodeErrors NOTIFY nodeErrorsChanged)
    Q_PROPERTY(tw::NodeReachabilityMap nodeReachable READ nodeReachable NOTIFY nodeReachableChanged)

public:
    static inline const QString legacyKeychainAccount = QStringLiteral("nasApiKey");
    static inline const QString clusterSecretAccount = QStringLiteral("clusterSecret");
    static inline const QString clusterFolderPrefix = QStringLiteral("tdw-cluster-");
    static inline const QString defaultName = QStringLiteral("Always-on node");
    static inline const QString keychainUnavailableText =
        QStringLiteral("Couldn't open the keychain, so the always-on node's key and the team key can't be read. "
                       "Unlock your login keyring and try again.");

    // Reads the node list at once: "nasnodes.json", else the older
    // "nasnode.json", whose key migrateLegacyKey() then moves.
    NasNodeController(Keychain &keychain, AppPaths paths, Sleeper sleeper = realSleeper(),
                      QObject *parent = nullptr);

    const QList<NasNode> &nodes() const { return m_nodes; }
    bool reachable() const { return m_reachable; }
    const std::optional<QString> &lastError() const { return m_lastError; }
    const NodeErrorMap &nodeErrors() const { return m_nodeErrors; }
    const NodeReachabilityMap &nodeReachable() const { return m_nodeReachable; }
    const QString &storePath() const { return m_storePath; }
    // Where the node's Syncthing is told to make the folders it is given.
    static inline const QString defaultFolderRoot = QStringLiteral("/var/syncthing");
    void setFolderRoot(QString root) { m_folderRoot = std::move(root); }
    const QString &legacyStorePath() const { return m_legacyStorePath; }
    const NodeClient &client() const { return m_client; }

    QSet<QString> deviceIDs() const;
    // The team key when a non-empty one is stored, else the key of the only
    // node; as last read from the keychain.
    std::optional<QString> purgeSecret() const;
    // The team key as last read from the keychain (after start-up's read and
    // after every change made here); nothing when none is stored or the
    // keychain could not be read. Reading it asks the keychain nothing.
    const std::optional<QString> &teamKey() const { return m_cachedTeamKey; }

    static QString keyAccount(const QString &deviceID) { return QStringLiteral("nasApiKey-") + deviceID; }
    static QString normalize(const QString &address);
    // A label made safe as the last component of a path on the node.
    static QString sanitizeFolderName(const QString &label);
    // The name of a new folder on the node: the sanitised label, else the
    // sanitised folder ID, else a name derived from the ID's digest. Never
    // empty and never only dots.
    static QString folderNameComponent(const QString &label, const QString &folderID);

    // Where bounces in progress are kept across a quit; without it they are
    // not kept.
    void keepBouncesIn(UserDefaults &defaults) { m_bounces.emplace(defaults); }
    // Resumes on the nodes the devices of bounces a quit left unfinished;
    // a bounce whose node cannot be reached stays for the next start.
    QCoro::Task<void> resumeUnfinishedBounces();

    // Awaited once at start: moves the older single-node key and writes the
    // node list file once it has moved, then fills the secrets cache.
    QCoro::Task<void> migrateLegacyKey();

    QCoro::Task<bool> configure(QString baseURL, QString apiKey, QString name);
    // Deletes the nodes' team-cluster folders and keys, then forgets them.
    QCoro::Task<void> remove();
    // Checks the first node only.
    QCoro::Task<bool> ping();
    // 43 characters of base64url from 32 random bytes; absent when it could
    // not be stored.
    QCoro::Task<std::optional<QString>> generateClusterSecret();
    QCoro::Task<void> importClusterSecret(QString secret);

    // A node's stored key; throws KeychainUnavailable.
    QCoro::Task<std::optional<QString>> nodeKey(NasNode node);

    // Member device ID to display name. Clears the errors first. Both passes
    // may outlive the controller (it goes with the environment while a node
    // is still answering): every step ends at its first await after that.
    QCoro::Task<void> reconcileMembers(QMap<QString, QString> members);
    // Folder ID to the folder's wanted share.
    QCoro::Task<void> shareFolders(QMap<QString, NodeFolderShare> wanted);
    QCoro::Task<QStringList> clusterFolderIDs(NasNode node, QString key);
    QCoro::Task<std::optional<QJsonObject>> deviceEntry(NasNode node, QString key, QString deviceID);
    QCoro::Task<void> patchDevice(NasNode node, QString key, QString deviceID, QJsonObject json);
    QCoro::Task<void> deleteFolder(NasNode node, QString key, QString folderID);

    // On the first node only. Adds one ignore line unless it is there;
    // whether the node took its list with the line.
    QCoro::Task<bool> addIgnore(QString folderID, QString pattern);
    // Trash-can versioning with that clean-out age; a negative age turns
    // versioning off.
    QCoro::Task<void> setFolderVersioning(QString folderID, int cleanoutDays);
    // Pauses and resumes the device on every node that shares one of the
    // folders with it, so that the node connects to it afresh.
    QCoro::Task<void> bounceDevice(QString deviceID, QSet<QString> servingFolderIDs);

signals:
    void nodesChanged();
    void reachableChanged();
    void lastErrorChanged();
    void nodeErrorsChanged();
    void nodeReachableChanged();
    void teamKeyChanged();

private:
    // A key lookup that tells an unreachable keychain from a missing key;
    // the first is already reported when it comes back.
    struct KeyLookup
    {
        bool keychainUnavailable = false;
        std::optional<QString> key;
    };

    void load();
    void persist();
    void updateAggregateReachability();
    void fail(const NasNode &node, const QString &message);
    void reportKeychainUnavailable();
    QCoro::Task<KeyLookup> lookUpKey(NasNode node);
    QCoro::Task<void> refreshSecrets();
    QCoro::Task<bool> storeKeys(QString key, QString deviceID, QList<NasNode> previous);
    QCoro::Task<void> applyDefaults(QString base, QString key);
    QCoro::Task<void> deleteClusterFolders(NasNode node, QString key);

    // Runs `step` with `wanted` on every node whose key is stored, then
    // updates the aggregate reachability; ends at once when the keychain
    // cannot be read or the controller is gone.
    template <typename Wanted>
    QCoro::Task<void> onEachNode(QCoro::Task<void> (NasNodeController::*step)(NasNode, QString, Wanted),
                                 Wanted wanted);
    // Notes whether the node answered a read, and reports it when it did not.
    bool reached(const NasNode &node, bool answered, NodeClient::Outcome outcome);
    QCoro::Task<void> reconcileMembersOn(NasNode node, QString key, QMap<QString, QString> members);
    QCoro::Task<void> shareFoldersOn(NasNode node, QString key, QMap<QString, NodeFolderShare> wanted);
    QCoro::Task<void> healDeviceTemplate(NasNode node, QString key);
    QCoro::Task<void> addDevice(NasNode node, QString key, QString deviceID, QString name);
    QCoro::Task<void> createFolder(NasNode node, QString key, QString folderID, QString label, QStringList devices);
    QCoro::Task<bool> patchFolderDevices(NasNode node, QString key, QString folderID, QJsonArray devices);
    QCoro::Task<void> verifyFolderDevices(NasNode node, QString key, QString folderID, QStringList desired,
                                          QJsonArray devices);
    QCoro::Task<void> bounceOn(NasNode node, QString key, QString deviceID);
    // A device on a node as its list tells after a resume; Unknown when the
    // list could not be read.
    enum class DeviceState { Unknown, Gone, Paused, Running };
    QCoro::Task<DeviceState> resume(NasNode node, QString key, QString deviceID);

    void setNodes(QList<NasNode> nodes);
    void setReachable(bool reachable);
    void setLastError(std::optional<QString> text);
    void setNodeErrors(NodeErrorMap errors);
    void setNodeReachable(const QString &deviceID, bool reachable);

    Keychain &m_keychain;
    NodeClient m_client;
    Sleeper m_sleeper;
    QString m_storePath;
    QString m_folderRoot = defaultFolderRoot;
    QString m_legacyStorePath;
    QList<NasNode> m_nodes;
    bool m_reachable = false;
    std::optional<QString> m_lastError;
    bool m_storeBlocked = false;  // an unreadable node list that could not be moved aside
    NodeErrorMap m_nodeErrors;
    NodeReachabilityMap m_nodeReachable;
    // Set while the list came from the older file and its key has not moved.
    bool m_legacyKeyPending = false;
    std::optional<QString> m_cachedTeamKey;
    std::optional<BounceRecord> m_bounces;
    QMap<QString, QString> m_cachedNodeKeys;
};

} // namespace tw
