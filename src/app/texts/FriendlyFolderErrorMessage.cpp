#include "app/texts/FriendlyFolderErrorMessage.h"

#include <QRegularExpression>

namespace tw {

QString friendlyFolderErrorMessage(const QString &engineError)
{
    if (!engineError.contains(QStringLiteral("insufficient space on disk")))
        return engineError;
    static const QRegularExpression pair(QStringLiteral(R"(current ([\d.]+) ?% < required ([\d.]+) ?%)"));
    const QRegularExpressionMatch match = pair.match(engineError);
    if (!pair.isValid() || !match.hasMatch() || !match.hasCaptured(1) || !match.hasCaptured(2))
        return QStringLiteral("Low disk space on this Mac's drive \u2014 Syncthing paused this folder until there's more room.");
    // A file manager counts reclaimable backup snapshots and caches as free;
    // Syncthing's check does not.
    return QStringLiteral("Low disk space \u2014 only ") + match.captured(1)
        + QStringLiteral("% free, Syncthing needs \u2265") + match.captured(2) + QStringLiteral("%. ")
        + QStringLiteral("Free up space (the file manager can show more \u201cfree\u201d space than is really "
                         "available \u2014 e.g. your backup tool ")
        + QStringLiteral("local snapshots or caches count as free there but not for this check).");
}

} // namespace tw
