#pragma once

#include <QList>
#include <QString>

namespace tw {

class UserDefaults;

// Connection bounces in progress, kept in the user defaults from before a
// device is paused until it is resumed: a quit in between must not leave a
// Mac paused for good, since later bounces pass paused devices over.
class BounceRecord
{
public:
    static inline const QString key = QStringLiteral("unfinishedBounces");

    struct Entry
    {
        QString device;
        QString node;  // the node's device ID; empty for this Mac's own engine

        bool operator==(const Entry &) const = default;
    };

    explicit BounceRecord(UserDefaults &defaults) : m_defaults(defaults) {}

    QList<Entry> entries() const;
    void add(const Entry &entry);
    // Takes away one such entry; the same bounce may run twice at once.
    void remove(const Entry &entry);

private:
    void write(const QList<Entry> &entries);

    UserDefaults &m_defaults;
};

} // namespace tw
