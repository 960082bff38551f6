#include "app/LinkRouter.h"

#include "app/AppEnvironment.h"
#include "cluster/InviteCodec.h"
#include "cluster/NodeSetupCodec.h"

#include <QUrl>

namespace tw {

LinkRouter::Outcome LinkRouter::route(const QString &raw, AppEnvironment &env)
{
    if (!raw.startsWith(scheme + QLatin1Char(':')))
        return Outcome::Ignored;
    const QUrl url(raw);
    if (!url.isValid())
        return Outcome::Ignored;
    if (std::optional<Invite> invite = InviteCodec::fromURL(url)) {
        env.setPendingInvite(std::move(invite));
        return Outcome::Invite;
    }
    if (std::optional<NodeSetupPayload> payload = NodeSetupCodec::fromURL(url)) {
        env.setPendingNodeSetup(std::move(payload));
        return Outcome::NodeSetup;
    }
    switch (InviteCodec::payloadIn(url)) {
    case InviteCodec::Payload::Unreadable:
        return Outcome::UnreadableInvite;
    case InviteCodec::Payload::Readable:
        return Outcome::UnusableInvite;
    case InviteCodec::Payload::Absent:
        break;
    }
    return Outcome::Ignored;
}

} // namespace tw
