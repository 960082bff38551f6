#include "platform/DesktopEntry.h"

#include "platform/XdgAutostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>

namespace tw {

QString DesktopEntry::text(const QString &execProgram)
{
    const QString program = execProgram.contains(QLatin1Char('/')) ? XdgAutostart::execArgument(execProgram)
                                                                  : execProgram;
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=TidewellMesh\n"
                          "Comment=Keeps folders in sync across your team's computers\n"
                          "Exec=%1 %u\n"
                          "Icon=folder-sync\n"
                          "Terminal=false\n"
                          "Categories=Network;FileTransfer;\n"
                          "MimeType=%2;\n")
        .arg(program, linkMimeType);
}

QString DesktopEntry::userEntryPath()
{
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (!QDir::isAbsolutePath(dataHome))
        dataHome = QDir::home().filePath(QStringLiteral(".local/share"));
    return QDir(dataHome).filePath(QStringLiteral("applications/") + fileName);
}

bool DesktopEntry::registerBuildTreeCopy(const QString &entryPath, const QString &executable)
{
    const QByteArray wanted = text(executable).toUtf8();
    QFile existing(entryPath);
    if (existing.open(QIODevice::ReadOnly) && existing.readAll() == wanted)
        return false;
    existing.close();
    QDir().mkpath(QFileInfo(entryPath).absolutePath());
    QSaveFile file(entryPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(wanted) != wanted.size() || !file.commit())
        return false;
    QProcess::startDetached(QStringLiteral("xdg-mime"),
                            {QStringLiteral("default"), fileName, linkMimeType});
    return true;
}

} // namespace tw
