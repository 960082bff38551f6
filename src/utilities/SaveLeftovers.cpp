#include "utilities/SaveLeftovers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace tw {

void removeSaveLeftovers(const QString &storePath)
{
    const QFileInfo store(storePath);
    const QRegularExpression leftover(QRegularExpression::anchoredPattern(
        QRegularExpression::escape(store.fileName()) + QStringLiteral("\\.[A-Za-z0-9]{6}")));
    const QDir folder = store.absoluteDir();
    // Regular files only: a link or a folder of that shape is not a save's.
    const QStringList names = folder.entryList({store.fileName() + QStringLiteral(".??????")},
                                               QDir::Files | QDir::Hidden | QDir::NoSymLinks | QDir::System);
    for (const QString &name : names)
        if (leftover.match(name).hasMatch())
            QFile::remove(folder.filePath(name));
}

} // namespace tw
