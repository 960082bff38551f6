#pragma once

#include <QDBusConnection>
#include <QString>
#include <QUrl>
#include <functional>
#include <qcoro/qcorotask.h>

namespace tw {

// Shows a folder selected in the desktop's file manager through
// org.freedesktop.FileManager1; when no file manager answers on the bus in
// time, the folder itself is opened by the desktop's handler for files.
class FileManagerRevealer
{
public:
    static inline const QString service = QStringLiteral("org.freedesktop.FileManager1");
    static inline const QString path = QStringLiteral("/org/freedesktop/FileManager1");
    static inline const QString interface = QStringLiteral("org.freedesktop.FileManager1");

    using Fallback = std::function<void(const QUrl &)>;

    // `fallback` defaults to QDesktopServices::openUrl.
    explicit FileManagerRevealer(QDBusConnection connection, int timeoutMs = 2000, Fallback fallback = {});

    // Answers whether a file manager took the request (false: the fallback
    // was used).
    QCoro::Task<bool> reveal(QString localPath) const;

private:
    QDBusConnection m_connection;
    int m_timeoutMs;
    Fallback m_fallback;
};

} // namespace tw
