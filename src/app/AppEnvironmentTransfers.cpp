#include "app/AppEnvironment.h"

#include "app/HealthRules.h"
#include "app/PeerShortfall.h"
#include "app/TransferSummary.h"
#include "controllers/DeviceController.h"
#include "controllers/ETAEstimator.h"
#include "controllers/EventController.h"
#include "controllers/FolderController.h"
#include "engine/SyncEngine.h"
#include "projects/ProjectController.h"

namespace tw {
namespace {

// Each sync folder the engine knows, paired with the members of its sync
// other than this Mac, in list order.
struct FolderMember
{
    QString folderID;
    QString deviceID;
};

QList<FolderMember> folderMembers(const QList<Project> &projects, const QString &localDeviceID)
{
    QList<FolderMember> pairs;
    for (const Project &project : projects)
        for (const ProjectFolder &folder : project.folders)
            if (folder.syncthingFolderID)
                for (const ProjectMember &member : project.members)
                    if (member.deviceID != localDeviceID)
                        pairs.append({*folder.syncthingFolderID, member.deviceID});
    return pairs;
}

} // namespace

bool AppEnvironment::isConnected(const QString &deviceID) const
{
    const std::optional<DeviceConnection> connection = m_devices->connection(deviceID);
    return connection && connection->connected;
}

QCoro::Task<void> AppEnvironment::seedCompletion()
{
    step("seedCompletion");
    const QPointer<AppEnvironment> self(this);
    for (const FolderMember &pair : folderMembers(m_projects->projects(), m_devices->localDeviceID())) {
        try {
            const PeerCompletion completion = co_await m_engine.peerCompletion(pair.folderID, pair.deviceID);
            if (!self)
                co_return;
            m_events->setCompletion(pair.folderID, pair.deviceID, completion.percent,
                                    isConnected(pair.deviceID) ? EventController::Freshness::Current
                                                               : EventController::Freshness::Outdated);
            m_events->setTakesPart(pair.folderID, pair.deviceID, completion.takesPart, completion.indexSequence);
        } catch (...) {
            // The next member is asked all the same.
        }
    }
}

// The event feed keeps completions current from the moment a device
// connects; the engine is asked only for a pair that nothing has told since,
// so a quiet cycle asks nothing.
QCoro::Task<void> AppEnvironment::refreshPeerCompletion()
{
    step("refreshPeerCompletion");
    const QPointer<AppEnvironment> self(this);
    for (const FolderMember &pair : folderMembers(m_projects->projects(), m_devices->localDeviceID())) {
        if (!self)
            co_return;
        if (!isConnected(pair.deviceID))
            continue;
        if (const std::optional<FolderDiagStatus> report = m_peerDiag->status(pair.deviceID, pair.folderID))
            if (const std::optional<double> percent = reportedCompletion(*report)) {
                m_events->setCompletion(pair.folderID, pair.deviceID, *percent);
                continue;
            }
        if (m_events->completionCurrent(pair.folderID, pair.deviceID))
            continue;
        try {
            const PeerCompletion completion = co_await m_engine.peerCompletion(pair.folderID, pair.deviceID);
            // An event told meanwhile is newer than this answer.
            if (self && !m_events->completionCurrent(pair.folderID, pair.deviceID)) {
                m_events->setCompletion(pair.folderID, pair.deviceID, completion.percent);
                m_events->setTakesPart(pair.folderID, pair.deviceID, completion.takesPart, completion.indexSequence);
            }
        } catch (...) {
            // The value held stays.
        }
    }
}

QCoro::Task<void> AppEnvironment::sampleTransfers()
{
    step("sampleTransfers");
    const QDateTime now = m_services.clock();
    qint64 down = 0;
    for (const SyncFolder &folder : m_folders->folders()) {
        const FolderStatus status = m_folders->statuses().value(folder.id);
        m_eta->sample(folder.id, status.needBytes, now);
        down += incomingBytes(status);
    }
    m_eta->sample(QStringLiteral("down"), down, now);
    QMap<QString, qint64> perDevice;
    qint64 up = 0;
    for (const PeerShortfall &shortfall : peerShortfalls(healthInputs())) {
        perDevice[shortfall.deviceID] += shortfall.bytes;
        up += shortfall.bytes;
    }
    for (auto device = perDevice.cbegin(); device != perDevice.cend(); ++device)
        m_eta->sample(QStringLiteral("dev:") + device.key(), device.value(), now);
    m_eta->sample(QStringLiteral("up"), up, now);
    co_return;
}

std::optional<TransferSummary> AppEnvironment::transferSummary(const std::optional<QString> &projectID) const
{
    return transferSummary(healthInputs(), projectID);
}

std::optional<TransferSummary> AppEnvironment::transferSummary(const HealthInputs &inputs,
                                                               const std::optional<QString> &projectID) const
{
    std::optional<TransferSummary> summary = summarizeTransfers(inputs, projectID);
    if (!summary)
        return std::nullopt;
    // The whole Mac's rate, also for one sync: rates are measured per
    // direction only.
    const QString key = summary->direction == TransferSummary::Direction::Down ? QStringLiteral("down")
                                                                               : QStringLiteral("up");
    const QDateTime now = m_services.clock();
    summary->bytesPerSecond = m_eta->bytesPerSecond(key, now);
    summary->etaSeconds = m_eta->eta(key, now);
    return summary;
}

} // namespace tw
