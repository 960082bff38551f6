#pragma once

#include <qcoro/qcorotask.h>
#include <QString>

namespace tw {

// Immediate user notifications. Nothing is posted until the desktop has said
// it can show them, so a session without a notification server stays quiet
// instead of queueing calls nobody answers.
class Notifier
{
public:
    // The title of every notification the application posts.
    static inline const QString appName = QStringLiteral("TidewellMesh");

    virtual ~Notifier() = default;

    // Asks whether notifications can be shown and remembers the answer;
    // any failure answers and remembers false. Never throws.
    virtual QCoro::Task<bool> requestAuthorization() = 0;
    virtual bool isAuthorized() const = 0;
    // Posts one notification now when authorised; a failed post is not
    // reported.
    virtual void notify(const QString &title, const QString &body) = 0;
};

} // namespace tw
