#pragma once

#include "cluster/Invite.h"
#include "cluster/NodeSetupPayload.h"

#include <QList>
#include <optional>
#include <variant>

namespace tw {

// The links opened while another link's sheet was due, in the order they
// came: each gets its turn once the one before it is dismissed, so a link
// never takes away a sheet the user has not answered. A link already waiting
// waits once; past `capacity` later ones are dropped, as any web page may
// open links, as many as it likes.
class LinkQueue
{
public:
    using Link = std::variant<Invite, NodeSetupPayload>;
    static constexpr qsizetype capacity = 16;

    void push(Link link);
    std::optional<Link> takeFirst();
    qsizetype size() const { return m_links.size(); }

private:
    QList<Link> m_links;
};

} // namespace tw
