#include "platform/FileManagerRevealer.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <memory>
#include <qcoro/qcorosignal.h>

namespace tw {

FileManagerRevealer::FileManagerRevealer(QDBusConnection connection, int timeoutMs, Fallback fallback)
    : m_connection(std::move(connection))
    , m_timeoutMs(timeoutMs)
    , m_fallback(fallback ? std::move(fallback) : Fallback([](const QUrl &url) { QDesktopServices::openUrl(url); }))
{
}

QCoro::Task<bool> FileManagerRevealer::reveal(QString localPath) const
{
    const QUrl url = QUrl::fromLocalFile(localPath);
    // Copies: the revealer may be gone once the answer arrives.
    const Fallback fallback = m_fallback;
    bool shown = false;
    if (m_connection.isConnected()) {
        QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("ShowItems"));
        call << QStringList{url.toString()} << QString();
        // A call nobody can take ends in an error, a silent file manager in
        // the time-out's: the watcher always finishes.
        const auto watcher = std::make_unique<QDBusPendingCallWatcher>(m_connection.asyncCall(call, m_timeoutMs));
        if (!watcher->isFinished())
            co_await qCoro(watcher.get(), &QDBusPendingCallWatcher::finished);
        shown = !watcher->isError();
    }
    if (!shown)
        fallback(url);
    co_return shown;
}

} // namespace tw
