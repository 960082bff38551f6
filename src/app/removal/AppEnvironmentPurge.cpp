#include "app/AppEnvironment.h"

#include "app/removal/PurgeAnswer.h"
#include "app/removal/PurgeAuth.h"
#include "app/removal/PurgeCommand.h"
#include "app/removal/PurgeFiles.h"
#include "app/removal/PurgeNonceRecord.h"
#include "app/removal/PurgePaths.h"
#include "app/removal/ReceivedPurgeRecord.h"
#include "cluster/NasNodeController.h"
#include "controllers/FolderController.h"
#include "engine/ScanQuietly.h"
#include "engine/SyncEngine.h"
#include "projects/ProjectController.h"

#include <QScopeGuard>
#include <QUuid>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>

#include <qcoro/qcorofuture.h>

namespace tw {
namespace {

enum class TargetCheck { Fine, Escapes, Link };
enum class Removal { NothingThere, Removed, Failed, Escapes, Link };

struct RemovalResult
{
    Removal removal = Removal::Failed;
    qint64 bytes = 0;
};

// realpath() may hang on a slow or network drive: run off the main thread.
TargetCheck checkTarget(const QString &root, const QString &relativePath)
{
    if (!purgeTargetContained(root, relativePath))
        return TargetCheck::Escapes;
    if (purgeTargetIsSymLink(purgeTargetPath(root, relativePath)) || !purgeTargetParentPlain(root, relativePath))
        return TargetCheck::Link;
    return TargetCheck::Fine;
}

// Checked again right before the removal: during the wait at the gate the
// teammates' changes keep arriving, and a directory on the way may have
// become a link to anywhere.
RemovalResult removeTarget(const QString &root, const QString &relativePath)
{
    const QString path = purgeTargetPath(root, relativePath);
    if (purgeTargetMissing(path))
        return {Removal::NothingThere, 0};
    if (const TargetCheck check = checkTarget(root, relativePath); check != TargetCheck::Fine)
        return {check == TargetCheck::Escapes ? Removal::Escapes : Removal::Link, 0};
    const std::optional<qint64> bytes = discardPurgeTarget(path);
    if (!bytes)
        return {Removal::Failed, 0};
    return {Removal::Removed, *bytes};
}

// The folder of the first sync that holds the engine folder.
std::optional<ProjectFolder> localFolderOf(const QList<Project> &projects, const QString &stID)
{
    for (const Project &project : projects) {
        for (const ProjectFolder &folder : project.folders) {
            if (folder.syncthingFolderID == stID)
                return folder;
        }
    }
    return std::nullopt;
}

// Whether the sender is a viewer of that first sync.
bool isViewerOf(const QList<Project> &projects, const QString &stID, const QString &sender)
{
    for (const Project &project : projects) {
        if (std::none_of(project.folders.cbegin(), project.folders.cend(),
                         [&stID](const ProjectFolder &folder) { return folder.syncthingFolderID == stID; }))
            continue;
        for (const ProjectMember &member : project.members) {
            if (member.deviceID == sender)
                return member.role == MemberRole::Viewer;
        }
        return false;
    }
    return false;
}

bool sharedWith(const QList<SyncFolder> &folders, const QString &stID, const QString &device)
{
    for (const SyncFolder &folder : folders) {
        if (folder.id == stID)
            return folder.sharedDeviceIDs.contains(device);
    }
    return false;
}

} // namespace

QCoro::Task<void> AppEnvironment::healStuckSendonly()
{
    // Every sync folder is two-way; send-only is only ever a purge's
    // temporary state, and a purge cut short leaves it behind.
    QStringList folderIDs;
    for (const Project &project : m_projects->projects())
        for (const ProjectFolder &folder : project.folders)
            if (folder.syncthingFolderID && !m_purgeInFlightFolders.contains(*folder.syncthingFolderID))
                folderIDs.append(*folder.syncthingFolderID);
    if (folderIDs.isEmpty())
        co_return;
    // One read of the list for all of them: asking each folder's type reads
    // the whole list each time.
    QList<SyncFolder> listed;
    try {
        listed = co_await m_engine.folders();
    } catch (...) {
        co_return;
    }
    for (const SyncFolder &folder : std::as_const(listed)) {
        if (folder.mode != FolderSyncMode::SendOnly || !folderIDs.contains(folder.id))
            continue;
        try {
            co_await m_engine.setFolderType(folder.id, QStringLiteral("sendreceive"));
        } catch (...) {
        }
    }
}

QCoro::Task<DiagServer::PurgeAnswer> AppEnvironment::executeIncomingPurge(QString fromDevice, QByteArray body)
{
    const PurgeAnswer answer = co_await answerPurge(std::move(fromDevice), std::move(body));
    co_return DiagServer::PurgeAnswer{answer.statusLine, answer.body};
}

// Every check that needs nothing but the command and this Mac's secret.
QCoro::Task<PurgeAnswer> AppEnvironment::answerPurge(QString from, QByteArray body)
{
    const std::optional<PurgeCommand> command = PurgeCommand::decode(body);
    // Each nonce is kept for a day: one of any other shape than a UUID could
    // make that record as large as a sender likes.
    if (!command || command->nonce.size() != 36 || QUuid::fromString(command->nonce).isNull())
        co_return PurgeAnswer::badRequest();
    const std::optional<QString> secret = m_nasNode->purgeSecret();
    if (!secret || secret->isEmpty())
        co_return PurgeAnswer::noSharedSecret();
    const qint64 now = m_services.clock().toSecsSinceEpoch();
    if (!PurgeAuth::withinClockWindow(now, command->timestamp))
        co_return PurgeAnswer::badSignature();
    const QString expected =
        PurgeAuth::sign(from, command->folderID, command->path, command->nonce, command->timestamp, *secret);
    if (!PurgeAuth::constantTimeEquals(expected, command->hmac))
        co_return PurgeAnswer::badSignature();
    if (PurgeNonceRecord(*m_services.defaults, m_services.clock).seen(command->nonce))
        co_return PurgeAnswer::replay();
    const QString nonce = command->nonce;
    if (m_inFlightPurgeNonces.contains(nonce))
        co_return PurgeAnswer::inProgress();
    m_inFlightPurgeNonces.insert(nonce);
    const QPointer<AppEnvironment> self(this);
    const auto release = qScopeGuard([self, nonce] {
        if (self)
            self->m_inFlightPurgeNonces.remove(nonce);
    });
    PurgeAnswer answer = co_await carryOutPurge(from, command->folderID, command->path, nonce);
    co_return answer;
}

// Whether the sender may have this subfolder removed here, then the removal.
QCoro::Task<PurgeAnswer> AppEnvironment::carryOutPurge(QString from, QString folderID, QString path, QString nonce)
{
    if (!sharedWith(m_folders->folders(), folderID, from))
        co_return PurgeAnswer::notSharedFolder();
    const std::optional<ProjectFolder> folder = localFolderOf(m_projects->projects(), folderID);
    if (!folder)
        co_return PurgeAnswer::noLocalFolder();
    if (isViewerOf(m_projects->projects(), folderID, from))
        co_return PurgeAnswer::notSharedFolder();
    const std::optional<QString> relative = canonicalRel(path);
    if (!relative)
        co_return PurgeAnswer::badPath();
    // Two Macs removing the same subfolder from each other at once would
    // each keep nothing: each side refuses the other's while sending, and
    // sends nothing while carrying one out.
    if (m_purgeInFlightFolders.contains(folderID))
        co_return PurgeAnswer::inProgress();
    ++m_purgesReceiving[folderID];
    const QPointer<AppEnvironment> self(this);
    const auto received = qScopeGuard([self, folderID] {
        if (self && --self->m_purgesReceiving[folderID] <= 0)
            self->m_purgesReceiving.remove(folderID);
    });
    const QString root = folder->localPath;
    const TargetCheck check = co_await QtConcurrent::run(checkTarget, root, *relative);
    if (!self)
        co_return PurgeAnswer::unavailable();
    if (check == TargetCheck::Escapes)
        co_return PurgeAnswer::escapesFolder();
    if (check == TargetCheck::Link)
        co_return PurgeAnswer::symlink();
    PurgeAnswer answer = co_await protectAndRemove(folderID, root, *relative, nonce);
    co_return answer;
}

// The nonce is recorded before the wait at the gate, so a copy of the command
// sent meanwhile is told it was done. The protection stays after a delete:
// the subfolder must never be pulled back from the sender, who keeps it.
QCoro::Task<PurgeAnswer> AppEnvironment::protectAndRemove(QString folderID, QString root, QString relativePath,
                                                          QString nonce)
{
    const QString pattern = QLatin1Char('/') + escapeGlob(relativePath);
    const std::optional<ProjectFolder> folder = localFolderOf(m_projects->projects(), folderID);
    ReceivedPurgeRecord received(*m_services.defaults);
    // A line that a teammate's removal left when the process ended before it
    // was done (none other of the folder runs here now) is no promise.
    const bool cutShort = m_purgesReceiving.value(folderID) == 1 && received.holds(folderID, pattern);
    const bool heldBefore = folder && folder->purgeProtected.contains(pattern) && !cutShort;
    const QPointer<AppEnvironment> self(this);
    // This Mac's own removal of the subfolder promised to keep its copy, and
    // the promise outlives that removal: a teammate who missed it and now
    // removes the same subfolder must not take the last copy.
    bool keptHere = false;
    if (heldBefore)
        keptHere = co_await QtConcurrent::run(purgeTargetExists, purgeTargetPath(root, relativePath));
    if (!self)
        co_return PurgeAnswer::unavailable();
    if (keptHere)
        co_return PurgeAnswer::inProgress();
    // Without the record a copy of the command could run again later.
    if (!PurgeNonceRecord(*m_services.defaults, m_services.clock).record(nonce) || !received.add(folderID, pattern))
        co_return PurgeAnswer::deleteFailed();
    // Kept after a failed delete, so that the teammate's next try may finish it.
    bool settled = true;
    UserDefaults *defaults = m_services.defaults;
    const auto settle = qScopeGuard([self, defaults, folderID, pattern, &settled] {
        if (self && settled)
            ReceivedPurgeRecord(*defaults).remove(folderID, pattern);
    });
    // A line the engine did not take keeps nothing out of syncing: no wait
    // at the gate for it.
    const bool sent = co_await m_projects->addPurgeProtection(folderID, pattern);
    if (!self)
        co_return PurgeAnswer::unavailable();
    bool committed = false;
    if (sent) {
        co_await scanQuietly(&m_engine, folderID);
        if (!self)
            co_return PurgeAnswer::unavailable();
        committed = co_await purgeCommitGateReady(folderID, pattern);
        if (!self)
            co_return PurgeAnswer::unavailable();
    }
    if (!committed) {
        if (!heldBefore)
            co_await m_projects->removePurgeProtection(folderID, pattern);
        co_return PurgeAnswer::ignoreNotCommitted();
    }
    const RemovalResult result = co_await QtConcurrent::run(removeTarget, root, relativePath);
    if (!self)
        co_return PurgeAnswer::unavailable();
    switch (result.removal) {
    case Removal::NothingThere:
        co_return PurgeAnswer::deleted(0);
    case Removal::Escapes:
    case Removal::Link:
        // Nothing was touched, so the line goes as after a refusal at the gate.
        if (!heldBefore)
            co_await m_projects->removePurgeProtection(folderID, pattern);
        co_return result.removal == Removal::Escapes ? PurgeAnswer::escapesFolder() : PurgeAnswer::symlink();
    case Removal::Failed:
        // Part of the tree may be gone: without the line those deletions
        // would reach every teammate, the always-on node included.
        settled = false;
        co_return PurgeAnswer::deleteFailed();
    case Removal::Removed:
        break;
    }
    co_await scanQuietly(&m_engine, folderID);
    co_return PurgeAnswer::deleted(result.bytes);
}

} // namespace tw
