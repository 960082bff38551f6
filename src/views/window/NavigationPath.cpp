#include "views/window/NavigationPath.h"

#include "utilities/AssignIfChanged.h"

namespace tw {

const QString NavigationPath::incomingRoute = QStringLiteral("__incoming__");

void NavigationPath::setIDs(QStringList ids)
{
    assignIfChanged(m_ids, std::move(ids), this, &NavigationPath::changed);
}

void NavigationPath::push(const QString &id)
{
    m_ids.append(id);
    emit changed();
}

void NavigationPath::pop()
{
    if (m_ids.isEmpty())
        return;
    m_ids.removeLast();
    emit changed();
}

std::optional<QString> NavigationPath::currentProjectID() const
{
    if (m_ids.isEmpty() || endsInIncoming())
        return std::nullopt;
    return m_ids.last();
}

} // namespace tw
