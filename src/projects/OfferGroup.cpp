#include "projects/OfferGroup.h"

#include "projects/ProjectController.h"

#include <QHash>
#include <QSet>

namespace tw {

std::optional<QString> OfferGroup::soloFolderID(const QString &key)
{
    const QString tag = soloKey(QString());
    if (!key.startsWith(tag))
        return std::nullopt;
    return key.mid(tag.size());
}

QList<PendingFolder> dedupedFolders(const QList<PendingFolder> &offers)
{
    QSet<QString> seen;
    QList<PendingFolder> kept;
    for (const PendingFolder &offer : offers) {
        if (seen.contains(offer.folderID))
            continue;
        seen.insert(offer.folderID);
        kept.append(offer);
    }
    return kept;
}

QList<OfferGroup> groupedBySync(const QList<PendingFolder> &folders)
{
    QList<OfferGroup> groups;
    QHash<QString, qsizetype> indexOf;
    for (const PendingFolder &folder : folders) {
        const std::optional<QString> sync = ProjectController::syncPartOf(folder.label);
        const QString key = sync ? OfferGroup::syncKey(*sync) : OfferGroup::soloKey(folder.folderID);
        auto found = indexOf.constFind(key);
        if (found == indexOf.constEnd()) {
            found = indexOf.insert(key, groups.size());
            groups.append({.key = key, .sync = sync, .items = {}});
        }
        groups[*found].items.append(folder);
    }
    return groups;
}

int offerCount(const QList<PendingFolder> &offers, const QString &folderID)
{
    return int(std::count_if(offers.cbegin(), offers.cend(),
                             [&folderID](const PendingFolder &offer) { return offer.folderID == folderID; }));
}

} // namespace tw
