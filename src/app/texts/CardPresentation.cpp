#include "app/texts/CardPresentation.h"

#include "controllers/FormatFileSize.h"

#include <cmath>

namespace tw {

const QString CardPresentation::indexingText = QStringLiteral("Indexing \u2026");
const QString CardPresentation::onlyOnThisMacText = QStringLiteral("Only on this Mac");
const QString CardPresentation::catchingUpText = QStringLiteral("In sync here \u00B7 team still catching up");
const QString CardPresentation::allInSyncText = QStringLiteral("All in sync");
const QString CardPresentation::syncingLineSuffix = QStringLiteral("% \u00B7 syncing");

CardPresentation cardPresentation(const SyncHealth &health, bool oneMac, bool catchingUp)
{
    const QString label = health.label();
    switch (health.kind) {
    case SyncHealth::Kind::Syncing: {
        const auto whole = static_cast<long long>(std::trunc(health.progress * 100));
        return {CardTone::Syncing, oneMac ? CardPresentation::indexingText : label,
                QString::number(whole) + CardPresentation::syncingLineSuffix, health.progress};
    }
    case SyncHealth::Kind::AllSynced:
        return {CardTone::Synced, oneMac ? CardPresentation::onlyOnThisMacText : label,
                catchingUp ? CardPresentation::catchingUpText : CardPresentation::allInSyncText, 1};
    case SyncHealth::Kind::Paused:
    case SyncHealth::Kind::Waiting:
        return {CardTone::Syncing, label, label, 0};
    case SyncHealth::Kind::Error:
        return {CardTone::Danger, label, label, 0};
    case SyncHealth::Kind::Stopped:
    case SyncHealth::Kind::Offline:
        break;
    }
    return {CardTone::Offline, label, label, 0};
}

QString overviewSubtitle(int macCount, int folderCount, qint64 bytes)
{
    const QString macs = macCount == 1 ? QStringLiteral("1 Mac") : QStringLiteral("%1 Macs").arg(macCount);
    const QString folders =
        folderCount == 1 ? QStringLiteral("1 folder") : QStringLiteral("%1 folders").arg(folderCount);
    return macs + QStringLiteral(" \u00B7 ") + folders + QStringLiteral(" \u00B7 ") + formatFileSize(bytes);
}

qint64 projectGlobalBytes(const Project &project, const QMap<QString, FolderStatus> &statuses)
{
    qint64 total = 0;
    for (const ProjectFolder &folder : project.folders) {
        if (folder.syncthingFolderID)
            total += statuses.value(*folder.syncthingFolderID).globalBytes;
    }
    return total;
}

bool projectCountsAsPaused(const Project &project)
{
    if (project.folders.isEmpty())
        return false;
    for (const ProjectFolder &folder : project.folders) {
        if (folder.syncEnabled)
            return false;
    }
    return true;
}

bool syncNameCanCreate(const QString &name)
{
    for (const QChar c : name) {
        const bool blank = c == u'\t' || c.category() == QChar::Separator_Space;
        if (!blank)
            return true;
    }
    return false;
}

} // namespace tw
