#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QMap>
#include <QString>
#include <optional>

namespace tw {

// Syncthing's report of its connections, one entry per configured device.
struct STConnectionsResponse
{
    struct Conn
    {
        bool connected = false;
        QString address;  // may be empty
        std::optional<QString> type;
        std::optional<qint64> inBytesTotal;
        std::optional<qint64> outBytesTotal;
        std::optional<QString> clientVersion;
        std::optional<bool> isLocal;
        std::optional<QString> crypto;

        static Conn fromJson(const QJsonObject &object);
        bool operator==(const Conn &) const = default;
    };

    struct Totals
    {
        std::optional<qint64> inBytesTotal;
        std::optional<qint64> outBytesTotal;

        static Totals fromJson(const QJsonObject &object);
        bool operator==(const Totals &) const = default;
    };

    QMap<QString, Conn> connections;  // by device ID
    std::optional<Totals> total;

    static STConnectionsResponse fromJson(const QJsonObject &object);
    static STConnectionsResponse fromJsonBody(const QByteArray &body);

    bool operator==(const STConnectionsResponse &) const = default;
};

} // namespace tw
