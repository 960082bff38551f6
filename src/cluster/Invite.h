#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace tw {

// An invitation to a sync: who invites (device ID and display name), to which
// sync, and, when the inviter is on a Tailscale network, its address there.
struct Invite
{
    QString deviceID;
    QString name;
    QString project;
    std::optional<QString> tsIP;

    bool operator==(const Invite &) const = default;

    // Compact JSON; "tsIP" only when present.
    QByteArray toJson() const;
    // "deviceID", "name" and "project" must be strings; "tsIP" a string,
    // absent or null; a "deviceID" of nothing but white space gives no invite.
    // A "tsIP" that is no IP address literal is dropped, as it would otherwise
    // reach the engine as part of a device address.
    static std::optional<Invite> fromJson(const QByteArray &json);
    // The same reading whatever Mac the invitation names, none included.
    static std::optional<Invite> readJson(const QByteArray &json);
};

} // namespace tw
