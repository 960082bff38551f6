#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace tw {

// A D-Bus session bus of the test's own, with no service directories, so
// nothing on it starts by itself; stopped when destroyed.
class PrivateBus
{
public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus &) = delete;
    PrivateBus &operator=(const PrivateBus &) = delete;

    // Empty when dbus-daemon could not start.
    const QString &address() const { return m_address; }

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
};

// Starts a program that prints one line once ready (a display number, a bus
// address) and answers that line, empty when none came.
QString startAndReadLine(QProcess &process, const QString &program, const QStringList &arguments);
// Terminates a process the test started, killing it if it lingers.
void stopProcess(QProcess &process);

} // namespace tw
