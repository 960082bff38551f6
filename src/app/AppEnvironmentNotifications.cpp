#include "app/AppEnvironment.h"

#include "app/AppPreferences.h"
#include "app/DiskShortfall.h"
#include "app/HealthRules.h"
#include "controllers/DeviceController.h"
#include "controllers/FolderController.h"
#include "platform/Notifier.h"
#include "projects/ProjectController.h"

namespace tw {

QCoro::Task<void> AppEnvironment::evaluateNotifications()
{
    step("evaluateNotifications");
    const HealthInputs in = healthInputs();
    const NotificationObservation now{
        .notificationsOn = m_preferences->showNotifications(),
        .allSynced = globalSyncHealth(in).kind == SyncHealth::Kind::AllSynced,
        .pendingCount = m_projects->distinctPendingCount(),
        .shortOfSpace = foldersShortOfSpace(in.projects, in.folderStatuses, m_volumeFreeBytes),
    };
    for (const QString &body : m_notificationEdges.evaluate(now))
        if (m_services.notifier)
            m_services.notifier->notify(Notifier::appName, body);
    co_return;
}

QCoro::Task<void> AppEnvironment::requestNotificationPermission()
{
    step("requestNotificationPermission");
    // Turned off, the earlier answer stands: nothing is asked of the desktop.
    if (m_services.notifier && m_preferences->showNotifications())
        co_await m_services.notifier->requestAuthorization();
}

void AppEnvironment::setNotificationBaselines()
{
    step("setNotificationBaselines");
    const bool allSynced = globalSyncHealth(healthInputs()).kind == SyncHealth::Kind::AllSynced;
    m_notificationEdges.setBaselines(allSynced, m_projects->distinctPendingCount());
}

std::optional<DiskShortfall> AppEnvironment::diskShortfall(const ProjectFolder &folder) const
{
    return tw::diskShortfall(folder, m_folders->statuses(), m_volumeFreeBytes);
}

QList<ExclusionIssue> AppEnvironment::exclusionConvergenceIssues() const
{
    return tw::exclusionConvergenceIssues(m_projects->projects(), m_folders->folders(), m_devices->devices());
}

} // namespace tw
