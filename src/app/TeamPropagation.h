#pragma once

#include "cluster/CellState.h"
#include "cluster/ClusterConfigStore.h"
#include "engine/model/SyncFolder.h"
#include "utilities/AppPaths.h"
#include "utilities/Clock.h"

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>

namespace tw {

class AppPreferences;
class DeviceController;
class Keychain;
class NasNodeController;
class ProjectController;
class SyncEngine;

// Carries the per-folder, per-Mac choices of the syncs to every Mac of the
// team: keeps the hidden team folder of the current team key on this Mac and
// the always-on nodes, shared with every member and node, holds the store of
// its cluster.json, applies the record's cells to the syncs and records member
// changes as signed cells. Main thread only; nothing here throws. Engine and
// node failures are passed over; only an unreachable keychain is reported,
// in lastErrorMessage.
class TeamPropagation : public QObject
{
    Q_OBJECT
    Q_PROPERTY(tw::ClusterConfigStore *clusterStore READ clusterStore NOTIFY clusterStoreChanged)
    Q_PROPERTY(std::optional<QString> lastErrorMessage READ lastErrorMessage NOTIFY lastErrorMessageChanged)

public:
    static inline const QString folderLabel = QStringLiteral(".tidewell-cluster");

    TeamPropagation(SyncEngine &engine, DeviceController &devices, ProjectController &projects,
                    AppPreferences &preferences, NasNodeController &nasNode, Keychain &keychain, AppPaths paths,
                    Clock clock = systemClock(), QObject *parent = nullptr);

    // The store of the current team key; null while propagation is off or no
    // key is stored. A new store replaces it on every application with a key,
    // announced by clusterStoreChanged; it is published already reloaded.
    ClusterConfigStore *clusterStore() const { return m_clusterStore.get(); }
    const std::optional<QString> &lastErrorMessage() const { return m_lastErrorMessage; }

    // Brings the team folder in line with the setting and the stored key.
    // Changes nothing while this Mac's device ID is unknown (it runs again
    // once the ID arrives) or the keychain cannot be reached. A request while
    // one runs asks for one more run.
    QCoro::Task<void> applyClusterSync();
    // Reloads the record, applies its cells and reconciles when a sync changed.
    QCoro::Task<void> syncCluster();
    // Records every member change of the syncs as signed cells, then applies
    // the settings again so that sharing follows. Once per process.
    void installMembershipHook();

    // Every engine folder of a team key but the kept one goes, here and on
    // the nodes whose key is stored; nothing goes when the listing fails.
    QCoro::Task<void> removeStaleClusterFolders(std::optional<QString> keeping);
    // The team folder exists and is shared with exactly the members of every
    // sync and the nodes, here and on the nodes.
    QCoro::Task<void> ensureClusterFolderShared(QString id, QString path);

signals:
    void clusterStoreChanged();
    void lastErrorMessageChanged();

private:
    struct Settings
    {
        bool readable = false;    // false: the keychain could not be asked
        std::optional<QString> key; // a non-empty team key while propagation is on
    };

    QCoro::Task<void> applyOnce();
    QCoro::Task<Settings> readSettings();
    QCoro::Task<void> startWithKey(QString key);
    QCoro::Task<void> recordMembership(QStringList folderIDs, QString deviceID, CellState state);
    // Nothing when the engine cannot list them.
    QCoro::Task<std::optional<QList<SyncFolder>>> listFolders();
    QCoro::Task<void> deleteOnNodes(QString folderID);
    QCoro::Task<void> shareOnEngine(QString id, QString path, QStringList peers);
    // The listed team folder paused while "Pause all" holds, running otherwise.
    QCoro::Task<void> matchAllPaused(QList<SyncFolder> listed, QString id);
    QStringList peerSet() const;
    void onLocalDeviceIDChanged();
    static QCoro::Task<void> applyDetached(QPointer<TeamPropagation> self);
    void setClusterStore(std::shared_ptr<ClusterConfigStore> store);
    void setLastErrorMessage(std::optional<QString> text);

    SyncEngine &m_engine;
    DeviceController &m_devices;
    ProjectController &m_projects;
    AppPreferences &m_preferences;
    NasNodeController &m_nasNode;
    Keychain &m_keychain;
    AppPaths m_paths;
    Clock m_clock;
    // Shared so that a sync in flight keeps the store it reloaded.
    std::shared_ptr<ClusterConfigStore> m_clusterStore;
    std::optional<QString> m_lastErrorMessage;
    bool m_applying = false;
    bool m_rerunRequested = false;
    // An application was skipped for want of this Mac's device ID.
    bool m_awaitingDeviceID = false;
};

} // namespace tw
