#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

namespace tw {

// Which extended attributes travel with a folder's files.
struct STXattrFilter
{
    struct Entry
    {
        QString match;  // attribute-name pattern; "*" matches every name
        bool permit = false;

        QJsonObject toJson() const;
        bool operator==(const Entry &) const = default;
    };

    QList<Entry> entries;  // in order, first match wins
    qint64 maxSingleEntrySize = 0;
    qint64 maxTotalSize = 0;

    QJsonObject toJson() const;

    // The filter of every folder we create: tags and the creation-date
    // attribute travel, nothing else.
    static STXattrFilter syncedXattrs();
    // The same filter as a folder patch: {"xattrFilter": {...}}, built afresh.
    static QJsonObject syncedXattrsJSON();

    bool operator==(const STXattrFilter &) const = default;
};

} // namespace tw
