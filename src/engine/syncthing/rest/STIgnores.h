#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QStringList>
#include <optional>

namespace tw {

// A folder's ignore lines, in order.
struct STIgnores
{
    std::optional<QStringList> ignore;

    static STIgnores fromJson(const QJsonObject &object);
    static STIgnores fromJsonBody(const QByteArray &body);

    bool operator==(const STIgnores &) const = default;
};

} // namespace tw
