#include "platform/PathPresence.h"

#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

#include <cerrno>
#include <sys/xattr.h>

namespace tw {

PathPresence PathPresence::read(const QString &path)
{
    PathPresence presence{
        .exists = QFileInfo::exists(path), .freeBytes = std::nullopt, .place = PathOverlap::place(path)};
    const QStorageInfo storage(path);
    if (storage.isValid() && storage.isReady()) {
        if (const qint64 free = storage.bytesAvailable(); free >= 0)
            presence.freeBytes = free;
    }
    if (presence.exists)
        presence.keepsUserXattrs = keepsUserXattrsAt(path);
    return presence;
}

// Reading an attribute nobody sets asks the file system whether it keeps
// the "user." namespace without changing anything in the folder: a file
// system that keeps them answers that there is no such attribute, one that
// refuses them that the operation is not supported, for reading and writing
// alike.
bool PathPresence::keepsUserXattrsAt(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    if (::getxattr(name.constData(), "user.com.quellmark.probe", nullptr, 0) >= 0)
        return true;
    const int error = errno;
    return error != ENOTSUP && error != EOPNOTSUPP;
}

} // namespace tw
