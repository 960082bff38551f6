#pragma once

#include <QDBusConnection>
#include <QObject>

class QDBusServiceWatcher;

namespace tw {

// Whether the session has a StatusNotifier host (a panel that shows tray
// items). Qt decides once per process, at its first tray question, whether
// a tray exists: asked before the panel is up, it would never show an icon.
// So the application asks Qt only once this says a host is registered.
class StatusNotifierHostWatch : public QObject
{
    Q_OBJECT

public:
    static inline const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
    static inline const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");

    explicit StatusNotifierHostWatch(QDBusConnection bus, QObject *parent = nullptr);

    bool isHostRegistered() const { return m_registered; }

signals:
    void hostRegisteredChanged(bool registered);

private slots:
    void ask();

private:
    void setRegistered(bool registered);

    QDBusConnection m_bus;
    QDBusServiceWatcher *m_watcher = nullptr;
    bool m_registered = false;
    quint64 m_asked = 0;
};

} // namespace tw
