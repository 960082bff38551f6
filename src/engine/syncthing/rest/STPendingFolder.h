#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QMap>
#include <QString>
#include <optional>

namespace tw {

// A folder that other devices offer and this device does not have yet.
struct STPendingFolder
{
    struct Offer
    {
        std::optional<QString> label;

        static Offer fromJson(const QJsonObject &object);
        bool operator==(const Offer &) const = default;
    };

    QMap<QString, Offer> offeredBy;  // by offering device ID

    static STPendingFolder fromJson(const QJsonObject &object);
    // A whole answer: folder ID to record.
    static QMap<QString, STPendingFolder> mapFromJson(const QByteArray &body);

    bool operator==(const STPendingFolder &) const = default;
};

} // namespace tw
