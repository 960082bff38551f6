#include "platform/AllocatedSize.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace tw {

qint64 allocatedSizeBelow(const QString &directory)
{
    if (QFileInfo(directory).isSymLink())
        return 0;
    qint64 total = 0;
    QDirIterator walk(directory, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                      QDirIterator::Subdirectories);
    while (walk.hasNext()) {
        const QByteArray path = QFile::encodeName(walk.next());
        struct stat info = {};
        if (::lstat(path.constData(), &info) == 0 && !S_ISDIR(info.st_mode))
            total += qint64(info.st_blocks) * 512;
    }
    return total;
}

} // namespace tw
