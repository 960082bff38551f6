#pragma once

#include "app/SyncHealth.h"
#include "engine/model/FolderStatus.h"
#include "projects/Project.h"

#include <QMap>
#include <QString>

namespace tw {

// The colour family a sync's card is drawn in; the design maps it to a colour.
enum class CardTone { Syncing, Offline, Synced, Danger };

// What a sync's card shows of its health: the tone, the status text at the
// top right, the line under the progress bar and the bar's fill (0…1).
struct CardPresentation
{
    CardTone tone = CardTone::Synced;
    QString statusText;
    QString healthLine;
    double progress = 0;

    bool operator==(const CardPresentation &) const = default;

    static const QString indexingText;
    static const QString onlyOnThisMacText;
    static const QString catchingUpText;
    static const QString allInSyncText;
    static const QString syncingLineSuffix;
};

// `oneMac`: the sync's Macs are this Mac alone. The health line truncates the
// percentage where the status text rounds it.
CardPresentation cardPresentation(const SyncHealth &health, bool oneMac, bool catchingUp);

// "<Macs> Macs · <folders> folders · <size>", each count word singular for 1.
QString overviewSubtitle(int macCount, int folderCount, qint64 bytes);

// The sum of the engine's global sizes of the sync's folders that have an
// engine folder ID; a folder without a status adds nothing.
qint64 projectGlobalBytes(const Project &project, const QMap<QString, FolderStatus> &statuses);

// A sync counts as paused when it has folders and none of them syncs.
bool projectCountsAsPaused(const Project &project);

// Whether a typed sync name has something besides spaces and tabs: line
// breaks count as content (the controller names such a sync "New Sync").
bool syncNameCanCreate(const QString &name);

} // namespace tw
