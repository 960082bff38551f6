#include "platform/StatusNotifierHostWatch.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>

namespace tw {

StatusNotifierHostWatch::StatusNotifierHostWatch(QDBusConnection bus, QObject *parent)
    : QObject(parent), m_bus(std::move(bus))
{
    if (!m_bus.isConnected())
        return;
    m_watcher = new QDBusServiceWatcher(watcherService, m_bus,
                                        QDBusServiceWatcher::WatchForRegistration
                                            | QDBusServiceWatcher::WatchForUnregistration,
                                        this);
    connect(m_watcher, &QDBusServiceWatcher::serviceRegistered, this, &StatusNotifierHostWatch::ask);
    connect(m_watcher, &QDBusServiceWatcher::serviceUnregistered, this, [this] { setRegistered(false); });
    for (const char *name : {"StatusNotifierHostRegistered", "StatusNotifierHostUnregistered"})
        m_bus.connect(watcherService, watcherPath, watcherService, QString::fromLatin1(name), this, SLOT(ask()));
    ask();
}

void StatusNotifierHostWatch::ask()
{
    QDBusMessage get = QDBusMessage::createMethodCall(watcherService, watcherPath,
                                                      QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get << watcherService << QStringLiteral("IsStatusNotifierHostRegistered");
    auto *pending = new QDBusPendingCallWatcher(m_bus.asyncCall(get), this);
    const quint64 serial = ++m_asked;
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this, pending, serial] {
        pending->deleteLater();
        // Only the latest question's answer is the host's state now.
        if (serial != m_asked)
            return;
        const QDBusPendingReply<QDBusVariant> reply = *pending;
        setRegistered(!reply.isError() && reply.value().variant().toBool());
    });
}

void StatusNotifierHostWatch::setRegistered(bool registered)
{
    if (m_registered == registered)
        return;
    m_registered = registered;
    emit hostRegisteredChanged(registered);
}

} // namespace tw
