#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace tw {

// An invitation to a sync: who invites (device ID and display name), to which
// sync, and, when the inviter is on a Tailscale network, its address there.
// When the sync has an always-on node, its device ID and name come along, as
// the inviter's word only: a link is anyone's to change, so the joiner takes
// the node as the sync's node once the team vouches for it.
struct Invite
{
    QString deviceID;
    QString name;
    QString project;
    std::optional<QString> tsIP;
    std::optional<QString> nodeID = std::nullopt;
    QString nodeName = {};

    bool operator==(const Invite &) const = default;

    // Compact JSON; "tsIP", "nodeID" and "nodeName" only when present.
    QByteArray toJson() const;
    // "deviceID", "name" and "project" must be strings; "tsIP" a string,
    // absent or null; a "deviceID" of nothing but white space gives no invite.
    // A "tsIP" that is no IP address literal is dropped, as it would otherwise
    // reach the engine as part of a device address. A "nodeID" that is no
    // device ID, or is the inviter's, is dropped with its name.
    static std::optional<Invite> fromJson(const QByteArray &json);
    // The same reading whatever Mac the invitation names, none included.
    static std::optional<Invite> readJson(const QByteArray &json);
};

} // namespace tw
