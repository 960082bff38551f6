#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

namespace tw {

// The form in which IDs, sync names and labels are compared: Unicode NFC, so
// that canonically equivalent spellings match. Paths are never compared this
// way.
QString canonical(const QString &text);

// A set of IDs compared in canonical form that remembers each ID as it was
// given, so that engine calls use the engine's own spelling.
class CanonicalIDs
{
public:
    CanonicalIDs() = default;
    explicit CanonicalIDs(const QStringList &ids);

    // The first spelling of an ID is kept.
    void insert(const QString &id);
    void remove(const QString &id) { m_ids.remove(canonical(id)); }
    bool contains(const QString &id) const { return m_ids.contains(canonical(id)); }
    bool isEmpty() const { return m_ids.isEmpty(); }
    CanonicalIDs without(const CanonicalIDs &other) const;
    // As given, in canonical order.
    QStringList values() const { return m_ids.values(); }

private:
    QMap<QString, QString> m_ids;  // canonical -> as given
};

} // namespace tw
