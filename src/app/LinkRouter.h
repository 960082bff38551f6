#pragma once

#include <QString>

namespace tw {

class AppEnvironment;

// Where an opened `tidewellsync` link goes: an invitation first, a node set-up
// link second, anything else nowhere. A link that carries an invitation ("d")
// that cannot be read, or that no Mac can be joined by, is told apart, so the
// user learns why nothing opens. Neither of those changes the pending values.
class LinkRouter
{
public:
    enum class Outcome { Invite, NodeSetup, UnreadableInvite, UnusableInvite, Ignored };

    static inline const QString scheme = QStringLiteral("tidewellsync");

    // `raw` as the desktop or a second copy handed it over. The scheme is
    // tested on the raw text, case-sensitively: QUrl lower-cases schemes.
    static Outcome route(const QString &raw, AppEnvironment &env);
};

} // namespace tw
