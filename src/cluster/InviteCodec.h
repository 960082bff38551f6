#pragma once

#include "cluster/Invite.h"

#include <QString>
#include <QUrl>
#include <optional>

namespace tw {

// The written forms of an invitation. The payload is the invite's JSON in
// base64url without padding; it travels as the link
// "tidewellsync://invite?d=<payload>", as the code "TDWSYNC1:<payload>", or
// pasted alone. A bare device ID pasted alone is an invite too.
class InviteCodec
{
public:
    static std::optional<QUrl> url(const Invite &invite);
    // "TDWSYNC1:" and the payload the link carries.
    static QString code(const Invite &invite);
    // The first "d" query item's payload; scheme, host and path are not looked at.
    static std::optional<Invite> fromURL(const QUrl &url);
    // Pasted text: a link, a code, a bare payload, a bare device ID, the first
    // form that applies deciding. Link-shaped text is read as a link only.
    static std::optional<Invite> decode(const QString &text);
    static std::optional<Invite> fromBlob(const QString &payload);

    // What a link carries as "d": nothing, text that reads as no invitation
    // at all (cut short, changed), or an invitation, which may name no Mac.
    enum class Payload { Absent, Unreadable, Readable };
    static Payload payloadIn(const QUrl &url);

    static inline const QString linkPrefix = QStringLiteral("tidewellsync://invite?d=");
    static inline const QString codePrefix = QStringLiteral("TDWSYNC1:");

private:
    static std::optional<QString> linkPayload(const QUrl &url);
    static std::optional<QByteArray> jsonOf(const QString &payload);
    static std::optional<Invite> fromDeviceID(const QString &text);
};

} // namespace tw
