#include "platform/FreedesktopNotifier.h"

#include "platform/NotificationBody.h"

#include <qcoro/qcorosignal.h>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QVariantMap>
#include <memory>

namespace tw {

namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");
const QString interface = QStringLiteral("org.freedesktop.Notifications");

QDBusMessage callMessage(const QString &method)
{
    return QDBusMessage::createMethodCall(service, path, interface, method);
}

QDBusMessage notifyMessage(const QString &title, const QString &body)
{
    QDBusMessage message = callMessage(QStringLiteral("Notify"));
    // The application's notifications are silent; a server without sounds
    // ignores the hint.
    const QVariantMap hints{{QStringLiteral("suppress-sound"), true}};
    message << Notifier::appName << uint(0) << QString() << title << body << QStringList() << hints << int(-1);
    return message;
}

} // namespace

FreedesktopNotifier::FreedesktopNotifier(QDBusConnection connection, int timeoutMs)
    : m_connection(std::move(connection)), m_timeoutMs(timeoutMs)
{
}

QCoro::Task<QDBusMessage> FreedesktopNotifier::call(QString method)
{
    // The bus answers a call it cannot deliver with an error, and a silent
    // server with a time-out error, so the watcher always finishes.
    const auto watcher =
        std::make_unique<QDBusPendingCallWatcher>(m_connection.asyncCall(callMessage(method), m_timeoutMs));
    if (!watcher->isFinished())
        co_await qCoro(watcher.get(), &QDBusPendingCallWatcher::finished);
    co_return watcher->reply();
}

QCoro::Task<bool> FreedesktopNotifier::askPermission()
{
    if (!m_connection.isConnected())
        co_return false;
    const QDBusMessage information = co_await call(QStringLiteral("GetServerInformation"));
    if (information.type() != QDBusMessage::ReplyMessage)
        co_return false;
    // Asked along with permission, so a post never waits for it. A server
    // that cannot say is taken to read markup: escaped text is harmless there.
    const QDBusMessage capabilities = co_await call(QStringLiteral("GetCapabilities"));
    const QVariantList answer = capabilities.type() == QDBusMessage::ReplyMessage ? capabilities.arguments()
                                                                                   : QVariantList();
    m_bodyMarkup = answer.isEmpty() || answer.constFirst().toStringList().contains(QStringLiteral("body-markup"));
    co_return true;
}

void FreedesktopNotifier::post(const QString &title, const QString &body)
{
    if (!m_connection.isConnected())
        return;
    // Fire and forget: the reply only carries the notification's ID.
    m_connection.asyncCall(notifyMessage(title, notificationBody(body, m_bodyMarkup)), m_timeoutMs);
}

} // namespace tw
