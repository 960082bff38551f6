#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

namespace tw {

// What the notification rules look at in one polling cycle.
struct NotificationObservation
{
    bool notificationsOn = true;
    bool allSynced = false;   // the overall health is "all synced"
    qint64 pendingCount = 0;  // pending devices plus distinct offered folders
    QSet<QString> shortOfSpace = {};  // engine folder IDs lacking disk space
};

// Turns observations into notifications on edges only: a state entered anew,
// never one that merely persists, and never one that already held at start.
class NotificationEdges
{
public:
    static inline const QString allSyncedBody = QStringLiteral("Everything is synced.");
    static inline const QString requestBody = QStringLiteral("New folder or device request \u2014 check Incoming.");
    static inline const QString diskBody =
        QStringLiteral("Not enough disk space to finish a sync \u2014 free up space on the target drive.");

    // The state at start, taken without notifying. A folder already short of
    // space is still reported by the first evaluation.
    void setBaselines(bool allSynced, qint64 pendingCount);

    // The bodies to post, in rule order. While notifications are off the
    // state is frozen, so turning them on compares with what held before.
    QStringList evaluate(const NotificationObservation &now);

    bool prevAllSynced() const { return m_prevAllSynced; }
    qint64 prevPendingCount() const { return m_prevPendingCount; }

private:
    bool m_prevAllSynced = true;
    qint64 m_prevPendingCount = 0;
    QSet<QString> m_prevShortOfSpace;
};

} // namespace tw
