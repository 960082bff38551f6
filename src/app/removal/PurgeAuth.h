#pragma once

#include <QString>

namespace tw {

// The signature of a purge command between Macs: HMAC-SHA256 keyed with the
// UTF-8 bytes of the shared secret, over the sender's device ID, folder ID,
// path, nonce and timestamp joined by line feeds, as 64 lower-case hex digits.
class PurgeAuth
{
public:
    // A command is taken only this many seconds either side of our clock.
    static constexpr qint64 kMaxClockSkewSeconds = 30;

    static QString sign(const QString &from, const QString &folderID, const QString &path, const QString &nonce,
                        qint64 timestamp, const QString &key);
    // Byte-wise over UTF-8 and case-sensitive; equal lengths are compared in
    // full so the time taken does not tell how much of a signature matched.
    static bool constantTimeEquals(const QString &a, const QString &b);
    // A difference too large to compute is outside the window.
    static bool withinClockWindow(qint64 now, qint64 timestamp);
    // A new random UUID in its upper-case form, as the receivers expect it.
    static QString newNonce();
};

} // namespace tw
