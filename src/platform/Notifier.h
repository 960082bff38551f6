#pragma once

#include <qcoro/qcorotask.h>
#include <QString>

namespace tw {

// Immediate user notifications. Nothing is posted until the desktop has said
// it can show them, so a session without a notification server stays quiet
// instead of queueing calls nobody answers. The gate lives here once; a
// platform layer only asks and posts.
class Notifier
{
public:
    // The title of every notification the application posts.
    static inline const QString appName = QStringLiteral("TidewellMesh");

    virtual ~Notifier() = default;

    // Asks whether notifications can be shown and remembers the answer until
    // the next request; any failure answers and remembers false.
    QCoro::Task<bool> requestAuthorization();
    bool isAuthorized() const { return m_authorized; }
    // Posts one notification now when authorised; a failed post is not
    // reported.
    void notify(const QString &title, const QString &body);

protected:
    // Never throws.
    virtual QCoro::Task<bool> askPermission() = 0;
    virtual void post(const QString &title, const QString &body) = 0;

private:
    bool m_authorized = false;
};

} // namespace tw
