#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QStringList>
#include <optional>

namespace tw {

// The global options we read; changes go out as patch objects instead.
struct STOptions
{
    std::optional<bool> natEnabled;
    std::optional<bool> relaysEnabled;
    std::optional<bool> localAnnounceEnabled;
    std::optional<bool> globalAnnounceEnabled;
    std::optional<QStringList> globalAnnounceServers;
    std::optional<QStringList> listenAddresses;
    std::optional<qint64> maxRecvKbps;  // KiB/s
    std::optional<qint64> maxSendKbps;  // KiB/s
    std::optional<QStringList> alwaysLocalNets;

    static STOptions fromJson(const QJsonObject &object);
    static STOptions fromJsonBody(const QByteArray &body);

    bool operator==(const STOptions &) const = default;
};

} // namespace tw
