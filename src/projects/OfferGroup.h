#pragma once

#include "engine/model/PendingFolder.h"

#include <QList>
#include <QString>
#include <optional>

namespace tw {

// The folder offers of one sync as the incoming page shows them: offers are
// grouped by the sync part of their label ("<sync> — <folder>"); an offer
// without one stands alone under "__solo__<folder ID>".
struct OfferGroup
{
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
