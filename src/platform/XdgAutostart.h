#pragma once

#include <QString>

namespace tw {

// The desktop's login item: an XDG autostart entry that starts the running
// executable when the user logs in. Failures are not reported; the entry is
// simply not there (or still there) afterwards.
class XdgAutostart
{
public:
    XdgAutostart(QString entryPath, QString executable);

    // "$XDG_CONFIG_HOME/autostart/tidewellmesh.desktop" (~/.config when the
    // variable is unset or not absolute), for this process's executable.
    static XdgAutostart standard();

    const QString &entryPath() const { return m_entryPath; }
    const QString &executable() const { return m_executable; }

    // The entry exists and neither hides itself nor is switched off.
    bool isEnabled() const;
    void enable() const;
    void disable() const;

    // A program path as one quoted argument of a desktop entry's Exec key.
    static QString execArgument(const QString &program);

private:
    QString m_entryPath;
    QString m_executable;
};

} // namespace tw
