#pragma once

#include <QObject>
#include <QStringList>
#include <QVariantMap>

namespace tw {

// A desktop notification server with the capabilities it is given; it
// records the summary and body of each notification.
class FakeNotificationServer : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    explicit FakeNotificationServer(QStringList capabilities) : m_capabilities(std::move(capabilities)) {}
    const QStringList &posted() const { return m_posted; }

public slots:
    QString GetServerInformation() { return QStringLiteral("fake"); }
    QStringList GetCapabilities() { return m_capabilities; }
    uint Notify(const QString &, uint, const QString &, const QString &summary, const QString &body,
                const QStringList &, const QVariantMap &, int)
    {
        m_posted.append(summary + QLatin1Char('|') + body);
        return uint(m_posted.size());
    }

private:
    QStringList m_capabilities;
    QStringList m_posted;
};

} // namespace tw
