#pragma once

#include "cluster/CellState.h"
#include "cluster/ClusterConfig.h"
#include "cluster/Invite.h"
#include "cluster/NasNode.h"
#include "cluster/NasNodeController.h"
#include "engine/model/NewDeviceRequest.h"
#include "engine/model/NewFolderRequest.h"
#include "engine/model/PendingDevice.h"
#include "engine/model/PendingFolder.h"
#include "engine/model/SyncFolder.h"
#include "projects/CanonicalIDs.h"
#include "projects/Project.h"
#include "utilities/AppPaths.h"
#include "utilities/AsyncMutex.h"
#include "utilities/Clock.h"
#include "utilities/Sleeper.h"

#include <QList>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>

namespace tw {

class PathLookUps;
class SyncEngine;
class UserDefaults;

// The user's syncs, kept in projects.json, and the reconciliation that brings
// the engine in line with them: records lead, the engine follows. Every
// operation that changes syncs saves at once; those that affect sharing then
// run the coalescing reconcile loop. Main thread only; nothing here throws to
// its caller: failures surface in lastErrorMessage and lastReconcileSummary.
//
// Everything suspends at each await, so no operation keeps a position in
// `projects` across one: syncs and folders are found again by ID.
class ProjectController : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QList<tw::Project> projects READ projects NOTIFY projectsChanged)
    Q_PROPERTY(std::optional<QString> lastErrorMessage READ lastErrorMessage WRITE setLastErrorMessage NOTIFY
                   lastErrorMessageChanged)
    Q_PROPERTY(std::optional<QString> lastReconcileSummary READ lastReconcileSummary NOTIFY
                   lastReconcileSummaryChanged)
    Q_PROPERTY(QStringList defaultIgnores READ defaultIgnores WRITE setDefaultIgnores NOTIFY defaultIgnoresChanged)
    Q_PROPERTY(bool isReconciling READ isReconciling NOTIFY isReconcilingChanged)
    Q_PROPERTY(QList<tw::PendingDevice> pendingDevices READ pendingDevices NOTIFY pendingDevicesChanged)
    Q_PROPERTY(QList<tw::PendingFolder> pendingFolders READ pendingFolders NOTIFY pendingFoldersChanged)
    Q_PROPERTY(std::optional<tw::ProjectController::PendingDeviceApproval> pendingDeviceApproval READ
                   pendingDeviceApproval NOTIFY pendingDeviceApprovalChanged)
    Q_PROPERTY(std::optional<QString> pairingProjectID READ pairingProjectID NOTIFY pairingProjectIDChanged)
    Q_PROPERTY(QSet<QString> dismissedFolderIDs READ dismissedFolderIDs NOTIFY dismissedFolderIDsChanged)
    Q_PROPERTY(QList<tw::PendingFolder> ignoredOfferedFolders READ ignoredOfferedFolders NOTIFY
                   ignoredOfferedFoldersChanged)

public:
    // A join request waiting for the user's approval; identified by deviceID.
    struct PendingDeviceApproval
    {
        QString deviceID;
        QString name;
        QString projectID;
        QString projectName;

        bool operator==(const PendingDeviceApproval &) const = default;
    };

    // Engine folder IDs, the device, and its new state in those folders.
    using MembersDidChange = std::function<QCoro::Task<void>(QStringList, QString, CellState)>;

    static inline const QString storeFileName = QStringLiteral("projects.json");
    static inline const QString dismissedKey = QStringLiteral("dismissedFolderIDs");
    // The nodes invitations named, by sync ID, until the team vouches for
    // them: the vouching may come after a restart.
    static inline const QString invitedNodesKey = QStringLiteral("invitedNodes");
    // Engine folders still to be removed, kept until they are: a quit must
    // not leave a removed folder shared.
    static inline const QString owedRemovalsKey = QStringLiteral("owedFolderRemovals");
    // Two engine folders whose trees meet would pass each one's files to the
    // other's Macs: no folder is added at, inside or around another.
    static QString overlapText(const QString &path, const QString &kept);
    static inline const QString teamFolderText =
        QStringLiteral("That folder holds the team\u2019s shared settings \u2014 choose another folder for this sync.");

    // Creates the application folder when missing, reads the dismissed
    // offers from the user defaults and reads projects.json.
    ProjectController(SyncEngine &engine, AppPaths paths, UserDefaults &defaults, Clock clock = systemClock(),
                      Sleeper sleeper = realSleeper(), QObject *parent = nullptr);

    SyncEngine &engine() const { return m_engine; }
    const QList<Project> &projects() const { return m_projects; }
    // The first sync with exactly this ID.
    std::optional<Project> project(const QString &id) const;
    // The first folder with exactly this ID in that sync.
    std::optional<ProjectFolder> folderOf(const QString &projectID, const QString &folderID) const;
    const std::optional<QString> &lastErrorMessage() const { return m_lastErrorMessage; }
    void setLastErrorMessage(std::optional<QString> text);
    const std::optional<QString> &lastReconcileSummary() const { return m_lastReconcileSummary; }
    const QStringList &defaultIgnores() const { return m_defaultIgnores; }
    void setDefaultIgnores(QStringList patterns);
    NasNodeController *nasNode() const { return m_nasNode; }
    void setNasNode(NasNodeController *node) { m_nasNode = node; }
    // Where a pass asks whether folders are there; its own unless given one
    // (the environment shares its volume probes' look-ups, so that a folder
    // on a dead mount holds one pool thread, not one for each).
    void setPathLookUps(PathLookUps *lookUps) { m_pathLookUps = lookUps; }
    void setMembersDidChange(MembersDidChange callback) { m_membersDidChange = std::move(callback); }
    // The user's preference: devices the team places in a sync join it
    // without a request; otherwise they ask, naming that sync.
    void setJoinsTeamDevices(bool on) { m_joinsTeamDevices = on; }
    const QString &storePath() const { return m_storePath; }
    bool isReconciling() const { return m_isReconciling; }
    // Resumes on this Mac's engine the devices of connection bounces a quit
    // left unfinished. The engine must be running.
    QCoro::Task<void> resumeUnfinishedBounces();
    // Whether a pass has anything to do: a sync, or an engine folder still
    // to be removed.
    bool hasWork() const { return !m_projects.isEmpty() || !m_owedRemovals.isEmpty(); }
    bool rerunRequested() const { return m_rerunRequested; }
    // Offers and join requests; kept up to date by the offer refresh.
    const QList<PendingDevice> &pendingDevices() const { return m_pendingDevices; }
    const QList<PendingFolder> &pendingFolders() const { return m_pendingFolders; }
    const std::optional<PendingDeviceApproval> &pendingDeviceApproval() const { return m_pendingDeviceApproval; }
    const std::optional<QString> &pairingProjectID() const { return m_pairingProjectID; }
    const QSet<QString> &dismissedFolderIDs() const { return m_dismissedFolderIDs; }
    const QList<PendingFolder> &ignoredOfferedFolders() const { return m_ignoredOfferedFolders; }

    // Writes projects.json atomically; a failure sets lastErrorMessage.
    // Writes nothing after an unreadable file could not be moved aside.
    // Whether the file now holds the records.
    bool save();

    // One coalescing loop: a request while it runs asks for one more pass.
    // The node is made a member of every sync before the passes and told the
    // members and shares after them. Never fails.
    QCoro::Task<void> reconcileAll();

    // Syncs and folders.
    void add(Project project);
    // Reconciles afterwards in a task of its own.
    Project createProject(QString name, std::optional<QString> colorHex);
    // Removes the engine folders no other sync uses, in a task of its own.
    void remove(Project project);
    // The new folder's ID; none for an unknown sync or the team folder.
    QCoro::Task<std::optional<QString>> addFolder(QString projectID, QString path, std::optional<QString> label,
                                                  bool archive);
    QCoro::Task<void> removeFolder(QString projectID, QString folderID);
    QCoro::Task<void> setFolderSyncEnabled(QString projectID, QString folderID, bool enabled);
    QCoro::Task<void> setProjectPaused(QString projectID, bool paused);

    // Members and per-Mac folder states.
    QCoro::Task<void> addMember(QString projectID, QString deviceID, QString name, MemberRole role, bool isOwn,
                                std::optional<QStringList> addresses);
    QCoro::Task<void> addNasNode(QString projectID);
    // The engine folder IDs of the sync's folders.
    QCoro::Task<QStringList> removeMember(QString projectID, QString deviceID);
    void renameMember(const QString &projectID, const QString &deviceID, const QString &name);
    // The folder's engine folder ID, under which the caller records the choice.
    QCoro::Task<std::optional<QString>> setFolderDeviceState(QString projectID, QString folderID, QString deviceID,
                                                             bool excluded, bool paused);
    // Applies cells written by editors and seeds; whether any list changed.
    // Folders held below are left as they are.
    bool applyClusterCells(const ClusterConfig &config);
    // While a per-Mac choice is on its way into the team record, a re-read
    // of the record would put the folder's older cell back (an older
    // "active" cell re-sharing it with a Mac just excluded). Counted, so
    // that overlapping choices release in any order.
    void holdClusterCells(const QString &engineFolderID);
    void releaseClusterCells(const QString &engineFolderID);
    bool clusterCellsHeld(const QString &engineFolderID) const { return m_heldClusterCells.value(engineFolderID) > 0; }

    // The always-on node as a member of a sync.
    static ProjectMember nodeMember(const NasNode &node);
    // The always-on node as a device of the engine, found wherever it is.
    static NewDeviceRequest nodeDevice(const NasNode &node);
    // "<sync> — <folder>", or the folder's label alone for a nameless sync.
    static QString engineLabel(const QString &syncName, const QString &folderLabel);

    // Folder offers, invitations and join approval. The refresh never fails;
    // the others report only through lastErrorMessage.
    // Pending devices plus distinct offered folder IDs (ignored offers aside).
    int distinctPendingCount() const;
    const std::optional<QDateTime> &pairingUntil() const { return m_pairingUntil; }
    // The view clears a surfaced request when its prompt is dismissed.
    void setPendingDeviceApproval(std::optional<PendingDeviceApproval> approval);
    QCoro::Task<void> refreshPending();
    QCoro::Task<void> dismissIncomingFolderAll(QString folderID);
    QCoro::Task<void> acceptIncomingFolder(PendingFolder offer, QString localPath,
                                           std::optional<QString> intoProjectID,
                                           std::optional<QString> newProjectName, bool autoJoinNode);
    // The sync joined; none when the invitation names no device or this Mac.
    // With `autoJoinNode`, the always-on node the invitation names is kept
    // for the sync and joins it as its node once the team vouches for it; a
    // link alone, which anyone can change, adds nothing.
    QCoro::Task<std::optional<QString>> acceptInvite(Invite invite, bool autoJoinNode);
    void openPairingWindow(const QString &projectID);
    QCoro::Task<void> approvePendingDevice();
    QCoro::Task<void> declinePendingDevice();
    // The same for the request a prompt showed, which may no longer be the
    // one surfaced: the surfaced one is cleared only while it still is.
    QCoro::Task<void> approvePendingDevice(PendingDeviceApproval request);
    QCoro::Task<void> declinePendingDevice(PendingDeviceApproval request);
    // Clears the surfaced request only while it still equals `shown`, so a
    // prompt closing does not drop a newer one surfaced meanwhile.
    void clearPendingDeviceApproval(const PendingDeviceApproval &shown);
    // The refresh it starts runs after it returns.
    void resetIgnoredInvitations();
    // The text after the first " — ", or the whole label.
    static QString folderPartOf(const QString &label);
    // The text before the first " — "; none without the separator or with
    // nothing before it.
    static std::optional<QString> syncPartOf(const QString &label);
    // The engine addresses of an inviter on a tailnet: discovery first, then
    // its tailnet address (an IPv6 literal in brackets).
    static QStringList tailnetAddresses(const QString &ip);

    // Ignore lines and purge protection. A write holding a line Syncthing
    // cannot use (one with CR, LF or NUL, which it would store as several
    // patterns, or one it cannot parse, which stops the folder) is refused
    // whole. A folder's list is its protection lines, each once, followed by
    // the user's lines.
    static QStringList mergedIgnores(const QStringList &base, const QStringList &extra);
    // Whether the engine's lines of the folder hold `pattern` with none but
    // protection lines before it: Syncthing applies the first line that
    // matches, so a user's line above it could undo it.
    bool protectionInForce(const QString &stID, const QString &pattern, const QStringList &engineLines) const;
    // Why the engine does not hold the lines; none once it does. A refused
    // write changes nothing; after a failed one the record keeps the lines,
    // and passes send them until the engine takes them (lines Syncthing
    // refused only once more after they change).
    QCoro::Task<std::optional<QString>> writeIgnoresBySyncthingID(QString stID, QStringList userPatterns);
    // Reads the engine folder's whole list, applies the edit and writes the
    // result through writeIgnoresBySyncthingID. Every writer of a folder's
    // lines here takes that folder's lock, so a read-edit-write is never
    // overtaken by another writer's. The edit is given the user's lines (the
    // protection lines stay in front). Why the engine does not hold the
    // edited lines, as writeIgnoresBySyncthingID; a failed read writes
    // nothing. Build the edit in a named local before awaiting (GCC 12).
    using IgnoreEdit = std::function<QStringList(QStringList)>;
    QCoro::Task<std::optional<QString>> editIgnores(QString stID, IgnoreEdit edit);
    QCoro::Task<void> applyDefaultIgnoresToAll();
    // Whether the engine holds the folder's new lines: a protection recorded
    // but not yet in the engine keeps nothing out of syncing.
    QCoro::Task<bool> addPurgeProtection(QString stID, QString pattern);
    QCoro::Task<bool> removePurgeProtection(QString stID, QString pattern);
    // The lines a folder's records ask of the engine: its protection lines,
    // each once, then the user's lines.
    static QStringList wantedIgnores(const ProjectFolder &folder);
    // The lines Syncthing can use: a folder whose records hold a line it
    // cannot (from an earlier list) is sent the others, so that it syncs.
    static QStringList usableIgnores(const QStringList &lines);
    // What the engine folder's lines lack: the lines of its records Syncthing
    // cannot use, or those it refused when sent. None while it has them all.
    std::optional<QString> ignoreRefusal(const QString &engineID) const;
    // The engine may have lost what it was sent (a restart): each folder's
    // lines are compared again by the next pass.
    void recheckIgnoreLines() { m_ignoresInPlace.clear(); }
    // While everything is paused at once ("Pause all", kept in the engine's
    // run policy), every engine folder a pass keeps is paused, and a folder
    // switched on waits; the engine makes every folder paused meanwhile.
    bool isAllPaused() const;
    static inline const QString lineBreakText =
        QStringLiteral("An ignore line can\u2019t hold a line break \u2014 the folder\u2019s ignore list was left as "
                       "it was.");

    // Whether the last pass found the folder at `localPath` on a drive that
    // keeps no user extended attributes: its engine folder carries none,
    // whatever the folder's "syncMetadata" says, so that its files sync.
    bool driveRefusesXattrs(const QString &localPath) const { return m_pathsRefusingXattrs.contains(localPath); }
    // What the engine folder is told of extended attributes: the user's
    // choice where the drive keeps them, none where it refuses them.
    bool engineCarriesMetadata(const ProjectFolder &folder) const;

    // Archive, versioning and metadata of a folder, on this Mac and the node.
    QCoro::Task<void> setFolderArchive(QString projectID, QString folderID, bool on);
    QCoro::Task<void> setArchiveRetention(QString projectID, QString folderID, qint64 days);
    QCoro::Task<void> setFolderMetadata(QString projectID, QString folderID, bool enabled);
    // Bytes on disk of the folder's archive; 0 without an absolute path.
    QCoro::Task<qint64> archiveSize(QString projectID, QString folderID);
    // Deletes the archive; answers what it held just before.
    QCoro::Task<qint64> freeArchiveNow(QString projectID, QString folderID);

signals:
    void projectsChanged();
    void lastErrorMessageChanged();
    void lastReconcileSummaryChanged();
    void defaultIgnoresChanged();
    void isReconcilingChanged();
    void rerunRequestedChanged();
    void pendingDevicesChanged();
    void pendingFoldersChanged();
    void pendingDeviceApprovalChanged();
    void pairingProjectIDChanged();
    void dismissedFolderIDsChanged();
    void ignoredOfferedFoldersChanged();
    void ignoreRefusalsChanged();
    void xattrRefusalsChanged();

private:
    struct Pass;
    struct SyncView;

    // Adds (`protect`) or removes the folder's protection line and sends the
    // folder's whole list.
    QCoro::Task<bool> setPurgeProtection(QString stID, QString pattern, bool protect);

    void load();
    // When the file cannot be moved aside, saving stays off: it would
    // overwrite the only copy of the syncs.
    void moveAside(const QString &path);
    void setProjects(QList<Project> projects);
    // Applies the edit to the first sync with that ID; false when none.
    bool editProject(const QString &id, const std::function<void(Project &)> &edit);
    bool editFolder(const QString &projectID, const QString &folderID,
                    const std::function<void(ProjectFolder &)> &edit);
    bool namesEngineFolder(const QString &engineID, bool enabledOnly = false) const;
    void setReconciling(bool on);
    void setRerunRequested(bool on);
    void setLastReconcileSummary(std::optional<QString> text);

    // Reconcile pass. Its steps await through unlessGone: when the controller
    // is destroyed meanwhile (quit during a detached pass), Gone, which is no
    // std::exception, unwinds the pass past every handler that would touch
    // it, and reconcileAll ends without touching it either.
    struct Gone
    {
    };
    template <typename T>
    QCoro::Task<T> unlessGone(QCoro::Task<T> step);
    QCoro::Task<void> unlessGone(QCoro::Task<void> step);
    QCoro::Task<void> performReconcile();
    QCoro::Task<void> reconcileFolder(SyncView sync, QString folderID, Pass *pass);
    QCoro::Task<void> createEngineFolder(SyncView sync, ProjectFolder folder, CanonicalIDs desired, Pass *pass);
    QCoro::Task<void> pauseDisabled(ProjectFolder folder, Pass *pass);
    QCoro::Task<void> bringIgnoresInLine(QString syncID, QString folderID, QString engineID, Pass *pass);
    QCoro::Task<void> retryOwedRemovals(Pass *pass);
    void oweRemovals(const QStringList &engineIDs);
    void settleRemoval(const QString &engineID);
    void storeOwedRemovals();
    QCoro::Task<int> stillListed(Pass *pass);
    // Whether the records were stored.
    bool finishPass(const Pass &pass, int stillListedCount);
    void writeBackFolderID(const QString &pid, const QString &folderLocalID, const QString &stID);

    // Offers, ignores, archive.
    QCoro::Task<void> surfacePairingApproval();
    void dropSettledApproval();
    void setPendingLists(QList<PendingDevice> devices, QList<PendingFolder> shown, QList<PendingFolder> ignored);
    void setDismissedFolderIDs(QSet<QString> ids);
    QCoro::Task<bool> registerOfferingDevice(PendingFolder offer, bool autoJoinNode);
    // Whether the team places the device in the sync: a signed cell of one
    // of its editors or seeds that keeps it in a folder, or Syncthing's
    // introduction into one of its listed folders by a Mac this one took
    // folders from.
    bool teamVouches(const Project &project, const QString &deviceID, const QList<SyncFolder> &listed) const;
    // The first sync the team places the device in that lacks it.
    std::optional<Project> teamSyncOf(const QString &deviceID) const;
    // The sync a device that asks belongs to, as far as this Mac can tell:
    // the team's, then the one holding a folder it offers, then the one
    // shown in an invitation.
    std::optional<Project> syncAskedFor(const QString &deviceID) const;
    QCoro::Task<void> joinTeamDevices(QList<PendingDevice> devices);
    QCoro::Task<void> adoptVouchedNodes(QList<SyncFolder> listed);
    QCoro::Task<void> adoptInvitedNode(QString projectID, NasNode node);
    // Keeps the node for the sync, or none, and stores them all.
    void setInvitedNode(const QString &projectID, std::optional<NasNode> node);
    static QHash<QString, NasNode> storedInvitedNodes(const UserDefaults &defaults);
    QCoro::Task<std::optional<SyncFolder>> engineFolderFor(PendingFolder offer, NewFolderRequest request);
    // The path of the first folder, of the engine's (but `exceptID`) or of
    // the syncs' records, whose tree meets `path`: as written, and on disk
    // where both look-ups answered in time.
    QCoro::Task<std::optional<QString>> folderMeeting(QString path, QList<SyncFolder> listed, QString exceptID);
    QString placeAcceptedFolder(const PendingFolder &offer, const SyncFolder &created, const QStringList &ignores,
                                std::optional<QString> intoProjectID, const QString &name, bool *memberAdded);
    // The first folder naming that engine folder: sync ID and folder ID.
    std::optional<std::pair<QString, QString>> folderByEngineID(const QString &stID) const;
    // The one lock of the engine folder's ignore lines. Shared, so that a
    // pass that ends because the controller went releases it safely.
    AsyncMutex &ignoresLock(const QString &stID) { return *sharedIgnoresLock(stID); }
    std::shared_ptr<AsyncMutex> sharedIgnoresLock(const QString &stID);
    // Sends the lines; marks the folder's lines in place only once they are.
    // Why they are not; lines Syncthing refused are kept aside, so that a
    // pass does not send them again.
    QCoro::Task<std::optional<QString>> sendIgnores(QString stID, QStringList lines);
    // Sets lastErrorMessage to why a write of the lines is refused, if it is.
    std::optional<QString> refuseUnusable(const QStringList &lines);
    // Whether Syncthing refused exactly these lines for the folder.
    bool ignoresRefused(const QString &stID, const QStringList &lines) const;
    void showIgnoreRefusal(const QString &stID, std::optional<QString> text);
    void noteXattrSupport(const QString &localPath, bool keeps);
    // The lines of the folder's records Syncthing cannot use, named, if any.
    static std::optional<QString> unusableLinesText(const ProjectFolder &folder);
    QCoro::Task<void> applyVersioning(QString projectID, QString folderID);
    std::optional<QString> archiveLocation(const QString &projectID, const QString &folderID) const;

    // Always-on node.
    QCoro::Task<void> ensureNasMembership();
    QCoro::Task<void> pushNasMembers();
    std::optional<NasNode> firstNode() const;

    // Registers the device unless the engine lists it already: adding an
    // existing device would reset its pause, addresses and limits. Throws
    // when the listing or the registration fails.
    QCoro::Task<void> ensureDevice(NewDeviceRequest request);
    // The new error text of a callback that failed, if any.
    QCoro::Task<std::optional<QString>> announceMembers(QStringList engineIDs, QString deviceID, CellState state);
    QCoro::Task<bool> resumeDevice(QString deviceID);
    QCoro::Task<void> bounceDeviceConnection(QString deviceID, QStringList folderIDs);
    QCoro::Task<void> pause(std::chrono::milliseconds duration);
    QCoro::Task<void> removeEngineFolders(QStringList engineIDs);
    QCoro::Task<void> removeEngineFolder(QString engineID);

    SyncEngine &m_engine;
    AppPaths m_paths;
    Clock m_clock;
    Sleeper m_sleeper;
    QString m_storePath;
    QList<Project> m_projects;
    std::optional<QString> m_lastErrorMessage;
    // The last refusal of unusable ignore lines put there.
    std::optional<QString> m_ignoreRefusalShown;
    std::optional<QString> m_lastReconcileSummary;
    QStringList m_defaultIgnores{QStringLiteral(".*")};
    QPointer<NasNodeController> m_nasNode;
    PathLookUps *m_pathLookUps;
    MembersDidChange m_membersDidChange;
    QHash<QString, int> m_heldClusterCells;
    bool m_isReconciling = false;
    bool m_rerunRequested = false;
    bool m_saveBlocked = false;
    // Engine folders to remove, from before the attempt until it succeeds;
    // a pass retries while no sync folder names them. Kept in the defaults.
    QStringList m_owedRemovals;
    // Engine folders (canonical IDs) an accepted offer is taking, from
    // before the listing until its record is stored; counted, as two offers
    // of one folder may be accepted at once.
    QHash<QString, int> m_foldersBeingAccepted;
    QList<PendingDevice> m_pendingDevices;
    QList<PendingFolder> m_pendingFolders;
    std::optional<PendingDeviceApproval> m_pendingDeviceApproval;
    std::optional<QString> m_pairingProjectID;
    std::optional<QDateTime> m_pairingUntil;
    QSet<QString> m_promptedDeviceIDs;
    // By sync ID: the node an invitation named, until the team vouches for
    // it; and the devices (canonical IDs) the last team record keeps in the
    // sync's folders.
    QHash<QString, NasNode> m_invitedNodes;
    QHash<QString, QSet<QString>> m_teamDevices;
    // By canonical device ID: the sync holding a folder it offers.
    QHash<QString, QString> m_offeredSyncs;
    bool m_joinsTeamDevices = true;
    QSet<QString> m_dismissedFolderIDs;
    QList<PendingFolder> m_ignoredOfferedFolders;
    // By canonical engine folder ID; kept for the controller's life, since a
    // waiter may still hold on to its folder's lock.
    std::map<QString, std::shared_ptr<AsyncMutex>> m_ignoreLocks;
    // Engine folders (canonical IDs) whose lines were seen to be or were
    // written as the records ask since this controller began; a pass reads
    // the lines of the others. Any write of a folder's lines drops it first.
    QSet<QString> m_ignoresInPlace;
    // By canonical engine folder ID: what its lines lack, as shown on its
    // sync, and the lines Syncthing refused when they were sent.
    QHash<QString, QString> m_ignoreRefusals;
    QHash<QString, QStringList> m_refusedIgnoreLines;
    // Folder paths whose drive refused user extended attributes when a pass
    // last looked at them.
    QSet<QString> m_pathsRefusingXattrs;
    UserDefaults &m_defaults;
};

template <typename T>
QCoro::Task<T> ProjectController::unlessGone(QCoro::Task<T> step)
{
    const QPointer<ProjectController> self(this);
    std::optional<T> answer;
    try {
        answer = co_await std::move(step);
    } catch (...) {
        if (!self)
            throw Gone{};
        throw;
    }
    if (!self)
        throw Gone{};
    co_return std::move(*answer);
}

} // namespace tw
