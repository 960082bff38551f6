#pragma once

#include "utilities/Clock.h"

#include <QString>

namespace tw {

class UserDefaults;

// The nonces of purge commands already taken, kept in the user defaults under
// "purgeNonces" as nonce -> second of recording, so that a replayed command
// is recognised across restarts. Entries age out only when the next nonce is
// recorded, never when read. A stored value of another shape reads as empty.
class PurgeNonceRecord
{
public:
    // A nonce is remembered for this long after it was recorded.
    static constexpr qint64 kKeptSeconds = 86'400;

    PurgeNonceRecord(UserDefaults &defaults, Clock clock);

    bool seen(const QString &nonce) const;
    // Drops the aged entries, adds the nonce at the current second and
    // writes; false when the file could not be written.
    bool record(const QString &nonce);

private:
    UserDefaults &m_defaults;
    Clock m_clock;
};

} // namespace tw
