#include "utilities/AppPaths.h"

#include <QDir>
#include <QStandardPaths>

namespace tw {

AppPaths AppPaths::standard()
{
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return AppPaths(QDir::cleanPath(base) + QStringLiteral("/TidewellSync"));
}

} // namespace tw
