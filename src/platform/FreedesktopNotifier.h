#pragma once

#include "platform/Notifier.h"

#include <QDBusConnection>
#include <QDBusMessage>

namespace tw {

// Notifications through the desktop's notification server on the session
// bus. "Authorised" means a server answered GetServerInformation in time:
// desktops have no per-application permission to ask for. The server's
// capabilities are asked at the same time, so a body is escaped only for a
// server that reads markup.
class FreedesktopNotifier : public Notifier
{
public:
    static constexpr int defaultTimeoutMs = 5000;

    explicit FreedesktopNotifier(QDBusConnection connection = QDBusConnection::sessionBus(),
                                 int timeoutMs = defaultTimeoutMs);

protected:
    QCoro::Task<bool> askPermission() override;
    void post(const QString &title, const QString &body) override;

private:
    QCoro::Task<QDBusMessage> call(QString method);

    QDBusConnection m_connection;
    int m_timeoutMs;
    bool m_bodyMarkup = true;
};

} // namespace tw
