#pragma once

#include "engine/model/PendingFolder.h"

#include <QList>
#include <QString>
#include <optional>

namespace tw {

// The folder offers of one sync as the incoming page shows them: offers are
// grouped by the sync part of their label ("<sync> — <folder>"); an offer
// without one stands alone. Labels come from other Macs, so a key is a kind
// tag followed by the whole sync part ("sync:") or folder ID ("solo:"): no
// label can take the key of another group, or pass for a lone folder.
struct OfferGroup
{
    static QString syncKey(const QString &sync) { return QStringLiteral("sync:") + sync; }
    static QString soloKey(const QString &folderID) { return QStringLiteral("solo:") + folderID; }
    // The folder ID of a lone folder's key; nothing for a sync's.
    static std::optional<QString> soloFolderID(const QString &key);

    QString key;
    std::optional<QString> sync;
    QList<PendingFolder> items;

    bool operator==(const OfferGroup &) const = default;
};

// One entry per folder ID, the first offer of each, in the input's order.
QList<PendingFolder> dedupedFolders(const QList<PendingFolder> &offers);
// Groups in the order their first folder appears; nothing is sorted.
QList<OfferGroup> groupedBySync(const QList<PendingFolder> &folders);
// How many devices offer the folder, counted before deduplication.
int offerCount(const QList<PendingFolder> &offers, const QString &folderID);

} // namespace tw
