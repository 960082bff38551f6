#include "engine/syncthing/rest/STOptions.h"

#include "engine/syncthing/rest/WireJson.h"
#include "utilities/StrictJson.h"

namespace tw {

STOptions STOptions::fromJson(const QJsonObject &object)
{
    const StrictJson json(object);
    STOptions options;
    options.natEnabled = json.optionalBoolean(QStringLiteral("natEnabled"));
    options.relaysEnabled = json.optionalBoolean(QStringLiteral("relaysEnabled"));
    options.localAnnounceEnabled = json.optionalBoolean(QStringLiteral("localAnnounceEnabled"));
    options.globalAnnounceEnabled = json.optionalBoolean(QStringLiteral("globalAnnounceEnabled"));
    options.globalAnnounceServers = json.optionalStringList(QStringLiteral("globalAnnounceServers"));
    options.listenAddresses = json.optionalStringList(QStringLiteral("listenAddresses"));
    options.maxRecvKbps = json.optionalInteger(QStringLiteral("maxRecvKbps"));
    options.maxSendKbps = json.optionalInteger(QStringLiteral("maxSendKbps"));
    options.alwaysLocalNets = json.optionalStringList(QStringLiteral("alwaysLocalNets"));
    return options;
}

STOptions STOptions::fromJsonBody(const QByteArray &body)
{
    return wire::objectFromBody<STOptions>(body);
}

} // namespace tw
