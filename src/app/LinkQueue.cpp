#include "app/LinkQueue.h"

namespace tw {

void LinkQueue::push(Link link)
{
    if (m_links.size() < capacity && !m_links.contains(link))
        m_links.append(std::move(link));
}

std::optional<LinkQueue::Link> LinkQueue::takeFirst()
{
    if (m_links.isEmpty())
        return std::nullopt;
    return m_links.takeFirst();
}

} // namespace tw
