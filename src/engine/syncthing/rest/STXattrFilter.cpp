#include "engine/syncthing/rest/STXattrFilter.h"

#include <QJsonArray>

namespace tw {

QJsonObject STXattrFilter::Entry::toJson() const
{
    return {{QStringLiteral("match"), match}, {QStringLiteral("permit"), permit}};
}

QJsonObject STXattrFilter::toJson() const
{
    QJsonArray array;
    for (const Entry &entry : entries)
        array.append(entry.toJson());
    return {{QStringLiteral("entries"), array},
            {QStringLiteral("maxSingleEntrySize"), maxSingleEntrySize},
            {QStringLiteral("maxTotalSize"), maxTotalSize}};
}

// Syncthing on Linux matches attribute names with their namespace, so the
// rules name "user." attributes: the desktop's file tags, our creation date
// and a directory's time as its maker gave it.
STXattrFilter STXattrFilter::syncedXattrs()
{
    return {{{QStringLiteral("user.xdg.tags"), true},
             {QStringLiteral("user.com.quellmark.crtime"), true},
             {QStringLiteral("user.com.quellmark.mtime"), true},
             {QStringLiteral("*"), false}},
            1048576,
            4194304};
}

QJsonObject STXattrFilter::syncedXattrsJSON()
{
    return {{QStringLiteral("xattrFilter"), syncedXattrs().toJson()}};
}

} // namespace tw
