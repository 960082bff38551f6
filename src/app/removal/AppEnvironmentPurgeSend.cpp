#include "app/AppEnvironment.h"

#include "app/removal/PurgeAnswer.h"
#include "app/removal/PurgeAuth.h"
#include "app/removal/PurgeCommand.h"
#include "app/removal/PurgePaths.h"
#include "app/removal/ReceivedPurgeRecord.h"
#include "cluster/NasNodeController.h"
#include "controllers/DeviceController.h"
#include "controllers/EngineController.h"
#include "controllers/PeerDiagController.h"
#include "engine/ScanQuietly.h"
#include "engine/SyncEngine.h"
#include "lan/PeerAddress.h"
#include "projects/ProjectController.h"
#include "utilities/LoopbackOnly.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QScopeGuard>
#include <QTimer>
#include <QUrl>
#include <algorithm>

#include <qcoro/qcoronetworkreply.h>

namespace tw {
namespace {

using namespace std::chrono_literals;

const QString kSendOnly = QStringLiteral("sendonly");
const QString kSendReceive = QStringLiteral("sendreceive");
const QString kReceiveOnly = QStringLiteral("receiveonly");
constexpr int kCommitGatePolls = 120;
constexpr int kRestoreAttempts = 3;
constexpr qint64 kMaxAnswerBytes = 64 * 1024;
const QString kPurgePath = QStringLiteral("/purge");

const QString kNoSecret = QStringLiteral(
    "Secure remote delete needs an always-on node (NAS) configured — its key is the shared secret that proves the "
    "command is really from you.");
const QString kFolderNotFound = QStringLiteral("Folder not found.");
const QString kInvalidPath = QStringLiteral("Invalid path.");
const QString kAlreadyRunning = QStringLiteral("A removal for this folder is already running.");
const QString kNotReady = QStringLiteral("This Mac isn't ready yet — try again in a moment.");
const QString kNoFolderState = QStringLiteral("Couldn't read the folder state — aborted, nothing changed.");
const QString kReceiveOnlyHere = QStringLiteral(
    "This Mac only receives this folder — removing a subfolder from the other Macs needs an editor Mac.");
const QString kNoBackstop = QStringLiteral("Couldn't engage the safety backstop — aborted, nothing changed.");
const QString kNotCommitted = QStringLiteral(
    "Couldn't protect your copy yet (ignore not committed) — aborted, nothing deleted on the others.");
const QString kKeptSendOnly = QStringLiteral(
    "Kept this folder paused (send-only) as a safeguard — your copy is protected. Reopen the app to resume two-way "
    "sync.");
const QString kNotRestored = QStringLiteral(
    "Heads-up: couldn't restore two-way sync on this folder — it'll be auto-repaired on next launch (your copy is "
    "safe, it's ignored).");

// Engine calls whose errors the purge leaves to the reads that follow them.
QCoro::Task<void> setModeQuietly(SyncEngine *engine, QString stID, QString mode)
{
    try {
        co_await engine->setFolderType(stID, mode);
    } catch (...) {
    }
}

QCoro::Task<std::optional<QString>> readMode(SyncEngine *engine, QString stID)
{
    try {
        co_return co_await engine->folderType(stID);
    } catch (...) {
        co_return std::nullopt;
    }
}

QCoro::Task<QStringList> ignoreLines(SyncEngine *engine, QString stID)
{
    try {
        co_return co_await engine->ignorePatterns(stID);
    } catch (...) {
        co_return QStringList();
    }
}

QCoro::Task<bool> folderIdle(SyncEngine *engine, QString stID)
{
    try {
        const FolderStatus status = co_await engine->folderStatus(stID);
        co_return status.state == FolderState::Idle;
    } catch (...) {
        co_return false;
    }
}

// Send-only is the backstop while the others delete: nothing they remove can
// be removed here. A receive-only Mac is refused before it is switched, as
// switching would publish its local changes to every teammate.
struct Backstop
{
    QString restoreMode;
    std::optional<QString> failure;
};

QCoro::Task<Backstop> engageBackstop(SyncEngine *engine, QString stID)
{
    const std::optional<QString> read = co_await readMode(engine, stID);
    const QString mode = read.value_or(QString());
    if (mode.isEmpty())
        co_return Backstop{mode, kNoFolderState};
    if (mode == kReceiveOnly)
        co_return Backstop{mode, kReceiveOnlyHere};
    const QString restore = mode == kSendOnly ? kSendReceive : mode;
    co_await setModeQuietly(engine, stID, kSendOnly);
    const std::optional<QString> switched = co_await readMode(engine, stID);
    if (switched == kSendOnly)
        co_return Backstop{restore, std::nullopt};
    co_await setModeQuietly(engine, stID, restore);
    co_return Backstop{restore, kNoBackstop};
}

bool protectedAlready(const std::optional<Project> &project, const QString &stID, const QString &pattern)
{
    if (!project)
        return false;
    return std::any_of(project->folders.cbegin(), project->folders.cend(), [&](const ProjectFolder &folder) {
        return folder.syncthingFolderID == stID && folder.purgeProtected.contains(pattern);
    });
}

QString memberName(const QList<SyncDevice> &devices, const QString &deviceID)
{
    for (const SyncDevice &device : devices) {
        if (device.id == deviceID)
            return device.name;
    }
    return deviceID;
}

} // namespace

QCoro::Task<PurgeOutcome> AppEnvironment::purgeFromPeers(QString projectID, QString folderID, QString anchoredPath)
{
    const std::optional<QString> secret = m_nasNode->purgeSecret();
    if (!secret || secret->isEmpty())
        co_return PurgeOutcome::refused(kNoSecret);
    const std::optional<ProjectFolder> folder = m_projects->folderOf(projectID, folderID);
    if (!folder || !folder->syncthingFolderID)
        co_return PurgeOutcome::refused(kFolderNotFound);
    const QString stID = *folder->syncthingFolderID;
    const std::optional<QString> relative = canonicalRel(anchoredPath);
    if (!relative)
        co_return PurgeOutcome::refused(kInvalidPath);
    if (m_purgeInFlightFolders.contains(stID) || m_purgesReceiving.contains(stID))
        co_return PurgeOutcome::refused(kAlreadyRunning);
    m_purgeInFlightFolders.insert(stID);
    emit purgeInFlightFoldersChanged();
    const auto release = qScopeGuard([this, stID] {
        m_purgeInFlightFolders.remove(stID);
        emit purgeInFlightFoldersChanged();
    });
    PurgeOutcome outcome = co_await protectAndPurge(projectID, stID, *relative, *secret);
    co_return outcome;
}

// The ignore line must be in force here before any other Mac deletes, and
// stays afterwards: this Mac keeps the only copy, out of syncing.
QCoro::Task<PurgeOutcome> AppEnvironment::protectAndPurge(QString projectID, QString stID, QString relativePath,
                                                          QString secret)
{
    const QString localID = m_devices->localDeviceID();
    if (localID.isEmpty())
        co_return PurgeOutcome::refused(kNotReady);
    const Backstop backstop = co_await engageBackstop(&m_engine, stID);
    if (backstop.failure)
        co_return PurgeOutcome::refused(*backstop.failure);
    const QString restore = backstop.restoreMode;

    const QString pattern = QLatin1Char('/') + escapeGlob(relativePath);
    const bool heldBefore = protectedAlready(m_projects->project(projectID), stID, pattern);
    const bool sent = co_await m_projects->addPurgeProtection(stID, pattern);
    bool committed = false;
    if (sent) {
        co_await scanQuietly(&m_engine, stID);
        committed = co_await purgeCommitGateReady(stID, pattern);
    }
    if (!committed) {
        // A line an earlier purge left keeps its subfolder away from the
        // Macs that missed that purge.
        if (!heldBefore)
            co_await m_projects->removePurgeProtection(stID, pattern);
        co_await setModeQuietly(&m_engine, stID, restore);
        co_return PurgeOutcome::refused(kNotCommitted);
    }

    // From here this Mac keeps its copy by its own promise: what a
    // teammate's removal with a failed delete left here no longer lets the
    // next teammate's removal finish it.
    ReceivedPurgeRecord(*m_services.defaults).remove(stID, pattern);
    PurgeOutcome outcome = co_await sendToMembers(projectID, stID, QLatin1Char('/') + relativePath, secret, localID);
    if (!outcome.reachedOrOwed()) {
        // No Mac took it and none waits for another run: there is nothing
        // to keep this copy from, so it syncs again, unless a line an
        // earlier removal left keeps it from the Macs that missed that one.
        outcome.copy = PurgeOutcome::LocalCopy::OutOfSyncSinceEarlier;
        if (!heldBefore) {
            const bool lifted = co_await m_projects->removePurgeProtection(stID, pattern);
            outcome.copy = lifted ? PurgeOutcome::LocalCopy::SyncsAsBefore : PurgeOutcome::LocalCopy::LineNotLifted;
        }
        co_await restoreFolderMode(stID, restore);
        co_return outcome;
    }
    if (!m_nasNode->nodes().isEmpty()) {
        const bool hidden = co_await m_nasNode->addIgnore(stID, pattern);
        outcome.node = hidden ? PurgeOutcome::NodeCopy::Hidden : PurgeOutcome::NodeCopy::NotReached;
    }
    const QStringList lines = co_await ignoreLines(&m_engine, stID);
    if (!m_projects->protectionInForce(stID, pattern, lines)) {
        co_await m_projects->addPurgeProtection(stID, pattern);
        m_engineState->setLastErrorMessage(kKeptSendOnly);
        co_return outcome;
    }
    co_await restoreFolderMode(stID, restore);
    co_return outcome;
}

// One member after the other; the always-on nodes keep their copy under the
// ignore line instead.
QCoro::Task<PurgeOutcome> AppEnvironment::sendToMembers(QString projectID, QString stID, QString path,
                                                        QString secret, QString from)
{
    const QSet<QString> nodes = m_nasNode->deviceIDs();
    QMap<QString, QString> hosts;
    for (const PeerHost &peer : connectedPeerHosts())
        hosts.insert(peer.deviceID, peer.host);
    const QList<ProjectMember> members = m_projects->project(projectID).value_or(Project()).members;
    PurgeOutcome outcome;
    for (const ProjectMember &member : members) {
        if (member.deviceID.isEmpty() || member.deviceID == from || nodes.contains(member.deviceID))
            continue;
        const QString name = memberName(m_devices->devices(), member.deviceID);
        if (!hosts.contains(member.deviceID)) {
            outcome.offline.append(name);
            continue;
        }
        // An address no URL can be made of is not asked, this run or the next.
        const std::optional<QUrl> url =
            PeerAddress::requestUrl(hosts.value(member.deviceID), m_services.lan.askedPort(), kPurgePath);
        if (!url) {
            outcome.unaddressable.append(name);
            continue;
        }
        const std::optional<PurgeAnswer::Refusal> refusal = co_await sendPurge(*url, stID, path, secret, from);
        if (!refusal)
            ++outcome.removedCount;
        else
            outcome.failed.append(FailedMac{name, refusal->reason, refusal->lasting});
    }
    co_return outcome;
}

QCoro::Task<void> AppEnvironment::restoreFolderMode(QString stID, QString mode)
{
    for (int attempt = 0; attempt < kRestoreAttempts; ++attempt) {
        co_await setModeQuietly(&m_engine, stID, mode);
        const std::optional<QString> now = co_await readMode(&m_engine, stID);
        if (now == mode)
            break;
        co_await m_services.sleeper(500ms);
    }
    const std::optional<QString> last = co_await readMode(&m_engine, stID);
    if (last != mode)
        m_engineState->setLastErrorMessage(kNotRestored);
}

QCoro::Task<bool> AppEnvironment::purgeCommitGateReady(QString stID, QString pattern)
{
    const QPointer<AppEnvironment> self(this);
    SyncEngine *engine = &m_engine;
    const Sleeper sleeper = m_services.sleeper;
    for (int poll = 0; poll < kCommitGatePolls; ++poll) {
        const QStringList lines = co_await ignoreLines(engine, stID);
        const bool idle = co_await folderIdle(engine, stID);
        if (!self)
            co_return false;
        if (idle && self->m_projects->protectionInForce(stID, pattern, lines))
            co_return true;
        co_await sleeper(1s);
        if (!self)
            co_return false;
    }
    co_return false;
}

QCoro::Task<std::optional<PurgeAnswer::Refusal>> AppEnvironment::sendPurge(QUrl url, QString stID, QString path,
                                                                            QString secret, QString from)
{
    const PurgeAnswer::Refusal unasked;
    // A loopback-only run never addresses another host, whatever the engine
    // reports as connected.
    if (m_services.lan.address.isLoopback() && !isLoopbackHost(PeerAddress::normalized(url.host())))
        co_return unasked;
    PurgeCommand command;
    command.folderID = stID;
    command.path = path;
    command.nonce = PurgeAuth::newNonce();
    command.timestamp = m_services.clock().toSecsSinceEpoch();
    command.hmac = PurgeAuth::sign(from, stID, path, command.nonce, command.timestamp, secret);

    QNetworkRequest request(url);
    const std::chrono::milliseconds wait = m_services.lan.purgeAnswerWait;
    request.setTransferTimeout(int(wait.count()));
    request.setRawHeader("X-Tidewell-From", from.toUtf8());
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    // Only the Mac's own answer counts; a redirect could lead anywhere.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    const QPointer<QNetworkReply> reply = m_peerDiag->session()->post(request, command.encode());
    // Qt's transfer time-out starts again with every byte, so a Mac that
    // trickled its answer would hold the removal, its folder send-only,
    // for as long as it liked.
    QTimer::singleShot(wait, reply.data(), &QNetworkReply::abort);
    // The answer is a line of JSON; a peer sending more is not listened to.
    QObject::connect(reply.data(), &QNetworkReply::downloadProgress, reply.data(), [reply](qint64 received, qint64) {
        if (received > kMaxAnswerBytes && reply)
            reply->abort();
    });
    co_await qCoro(reply.data()).waitForFinished();
    if (!reply)
        co_return unasked;
    reply->deleteLater();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    co_return PurgeAnswer::refusalIn(status, reply->readAll());
}

} // namespace tw
