#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace tw {

struct NewDeviceRequest
{
    QString id;
    QString name;
    std::optional<QStringList> addresses;  // absent: discovered ("dynamic")
    bool introducer = false;
};

} // namespace tw
