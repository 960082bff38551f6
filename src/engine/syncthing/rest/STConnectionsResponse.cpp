#include "engine/syncthing/rest/STConnectionsResponse.h"

#include "engine/syncthing/rest/WireJson.h"
#include "utilities/StrictJson.h"

namespace tw {

STConnectionsResponse::Conn STConnectionsResponse::Conn::fromJson(const QJsonObject &object)
{
    const StrictJson json(object);
    Conn conn;
    conn.connected = json.boolean(QStringLiteral("connected"));
    conn.address = json.string(QStringLiteral("address"));
    conn.type = json.optionalString(QStringLiteral("type"));
    conn.inBytesTotal = json.optionalInteger(QStringLiteral("inBytesTotal"));
    conn.outBytesTotal = json.optionalInteger(QStringLiteral("outBytesTotal"));
    conn.clientVersion = json.optionalString(QStringLiteral("clientVersion"));
    conn.isLocal = json.optionalBoolean(QStringLiteral("isLocal"));
    conn.crypto = json.optionalString(QStringLiteral("crypto"));
    return conn;
}

STConnectionsResponse::Totals STConnectionsResponse::Totals::fromJson(const QJsonObject &object)
{
    const StrictJson json(object);
    return {json.optionalInteger(QStringLiteral("inBytesTotal")), json.optionalInteger(QStringLiteral("outBytesTotal"))};
}

STConnectionsResponse STConnectionsResponse::fromJson(const QJsonObject &object)
{
    const StrictJson json(object);
    STConnectionsResponse response;
    response.connections =
        wire::mapFromObject<Conn>(json.object(QStringLiteral("connections")), QStringLiteral("connections"));
    if (const auto total = json.optionalObject(QStringLiteral("total")))
        response.total = wire::withContext(QStringLiteral("total"), [&] { return Totals::fromJson(*total); });
    return response;
}

STConnectionsResponse STConnectionsResponse::fromJsonBody(const QByteArray &body)
{
    return wire::objectFromBody<STConnectionsResponse>(body);
}

} // namespace tw
