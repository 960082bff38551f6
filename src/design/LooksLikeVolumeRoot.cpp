#include "design/LooksLikeVolumeRoot.h"

#include <QStringList>
#include <algorithm>

namespace tw {

bool looksLikeVolumeRoot(const QString &path)
{
    if (path == QLatin1String("/"))
        return true;
    const QStringList pieces = path.split(QLatin1Char('/'));
    const bool named = std::all_of(pieces.begin() + 1, pieces.end(), [](const QString &piece) { return !piece.isEmpty(); });
    // "", the mount folder's one or two names, the user, the volume.
    if (pieces.size() < 4 || !pieces.first().isEmpty() || !named)
        return false;
    const QStringList mountFolder = pieces.mid(1, pieces.size() - 3);
    return mountFolder == QStringList{QStringLiteral("media")}
        || mountFolder == QStringList{QStringLiteral("run"), QStringLiteral("media")};
}

} // namespace tw
