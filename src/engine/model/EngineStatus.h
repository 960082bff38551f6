#pragma once

#include <QString>
#include <optional>

namespace tw {

struct EngineStatus
{
    bool isRunning = false;
    std::optional<QString> localDeviceID;
    std::optional<QString> lastError;
    QString engineName;

    bool operator==(const EngineStatus &) const = default;
};

} // namespace tw
