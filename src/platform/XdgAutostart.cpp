#include "platform/XdgAutostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace tw {

XdgAutostart::XdgAutostart(QString entryPath, QString executable)
    : m_entryPath(std::move(entryPath)), m_executable(std::move(executable))
{
}

XdgAutostart XdgAutostart::standard()
{
    QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!QDir::isAbsolutePath(configHome))
        configHome = QDir::home().filePath(QStringLiteral(".config"));
    const QString entry = QDir(configHome).filePath(QStringLiteral("autostart/tidewellmesh.desktop"));
    return XdgAutostart(entry, QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath());
}

bool XdgAutostart::isEnabled() const
{
    QFile file(m_entryPath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        const QString key = line.section(QLatin1Char('='), 0, 0).trimmed();
        const QString value = line.section(QLatin1Char('='), 1).trimmed();
        if ((key == QLatin1String("Hidden") && value == QLatin1String("true"))
            || (key == QLatin1String("X-GNOME-Autostart-enabled") && value == QLatin1String("false")))
            return false;
    }
    return true;
}

void XdgAutostart::enable() const
{
    QDir().mkpath(QFileInfo(m_entryPath).absolutePath());
    QSaveFile file(m_entryPath);
    if (!file.open(QIODevice::WriteOnly))
        return;
    const QString entry = QStringLiteral("[Desktop Entry]\nType=Application\nName=TidewellMesh\nExec=%1\n"
                                         "X-GNOME-Autostart-enabled=true\n")
                              .arg(execArgument(m_executable));
    file.write(entry.toUtf8());
    file.commit();
}

void XdgAutostart::disable() const
{
    QFile::remove(m_entryPath);
}

QString XdgAutostart::execArgument(const QString &program)
{
    // Inside double quotes the Exec rules escape four characters with a
    // backslash; the key's value is then a string, whose own rule doubles
    // every backslash. A percent sign is a field code unless doubled.
    QString quoted;
    for (const QChar c : program) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    quoted.replace(QLatin1Char('%'), QStringLiteral("%%"));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace tw
