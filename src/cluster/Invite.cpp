#include "cluster/Invite.h"

#include "engine/model/NormalizedDeviceID.h"
#include "utilities/StrictJson.h"

#include <QJsonDocument>
#include <arpa/inet.h>

namespace tw {
namespace {

bool isIPLiteral(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    if (bytes.contains('\0'))
        return false;
    unsigned char address[sizeof(in6_addr)];
    return inet_pton(AF_INET, bytes.constData(), address) == 1 || inet_pton(AF_INET6, bytes.constData(), address) == 1;
}

// The node is a hint the invitation can do without: one that does not read
// leaves the rest of the invitation as it is.
void readNode(const StrictJson &object, Invite &invite)
{
    try {
        const std::optional<QString> node = object.optionalString(QStringLiteral("nodeID"));
        const std::optional<QString> id = node ? normalizedDeviceID(*node) : std::nullopt;
        if (!id || normalizedDeviceID(invite.deviceID) == id)
            return;
        invite.nodeName = object.optionalString(QStringLiteral("nodeName")).value_or(QString()).trimmed();
        invite.nodeID = id;
    } catch (const JsonDecodeError &) {
    }
}

} // namespace

QByteArray Invite::toJson() const
{
    QJsonObject object{
        {QStringLiteral("deviceID"), deviceID},
        {QStringLiteral("name"), name},
        {QStringLiteral("project"), project},
    };
    if (tsIP)
        object.insert(QStringLiteral("tsIP"), *tsIP);
    if (nodeID) {
        object.insert(QStringLiteral("nodeID"), *nodeID);
        object.insert(QStringLiteral("nodeName"), nodeName);
    }
    // Other devices' encoders escape the solidus; a "/" can only occur inside
    // a string here, so escaping every one keeps the payloads alike.
    return QJsonDocument(object).toJson(QJsonDocument::Compact).replace("/", "\\/");
}

std::optional<Invite> Invite::fromJson(const QByteArray &json)
{
    std::optional<Invite> invite = readJson(json);
    // Without a device there is nobody to join.
    if (invite && invite->deviceID.trimmed().isEmpty())
        return std::nullopt;
    return invite;
}

std::optional<Invite> Invite::readJson(const QByteArray &json)
{
    try {
        const StrictJson object(StrictJson::parseObject(json));
        Invite invite{
            .deviceID = object.string(QStringLiteral("deviceID")),
            .name = object.string(QStringLiteral("name")),
            .project = object.string(QStringLiteral("project")),
            .tsIP = object.optionalString(QStringLiteral("tsIP")),
        };
        if (invite.tsIP && !isIPLiteral(*invite.tsIP))
            invite.tsIP.reset();
        readNode(object, invite);
        return invite;
    } catch (const JsonDecodeError &) {
        return std::nullopt;
    }
}

} // namespace tw
