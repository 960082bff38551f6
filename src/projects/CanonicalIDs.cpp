#include "projects/CanonicalIDs.h"

namespace tw {

QString canonical(const QString &text)
{
    return text.normalized(QString::NormalizationForm_C);
}

CanonicalIDs::CanonicalIDs(const QStringList &ids)
{
    for (const QString &id : ids)
        insert(id);
}

void CanonicalIDs::insert(const QString &id)
{
    const QString key = canonical(id);
    if (!m_ids.contains(key))
        m_ids.insert(key, id);
}

CanonicalIDs CanonicalIDs::without(const CanonicalIDs &other) const
{
    CanonicalIDs rest = *this;
    for (auto it = other.m_ids.cbegin(); it != other.m_ids.cend(); ++it)
        rest.m_ids.remove(it.key());
    return rest;
}

} // namespace tw
