#include "app/NotificationEdges.h"

namespace tw {

void NotificationEdges::setBaselines(bool allSynced, qint64 pendingCount)
{
    m_prevAllSynced = allSynced;
    m_prevPendingCount = pendingCount;
}

QStringList NotificationEdges::evaluate(const NotificationObservation &now)
{
    if (!now.notificationsOn)
        return {};
    QStringList bodies;
    if (now.allSynced && !m_prevAllSynced)
        bodies.append(allSyncedBody);
    m_prevAllSynced = now.allSynced;
    // Every further rise notifies again; a falling count passes silently.
    if (m_prevPendingCount < now.pendingCount)
        bodies.append(requestBody);
    m_prevPendingCount = now.pendingCount;
    // One notice per evaluation, however many folders ran short at once.
    if (!now.shortOfSpace.isEmpty() && !m_prevShortOfSpace.contains(now.shortOfSpace))
        bodies.append(diskBody);
    m_prevShortOfSpace = now.shortOfSpace;
    return bodies;
}

} // namespace tw
