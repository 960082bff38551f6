#include "engine/PlatformError.h"

#include "engine/SyncEngineError.h"

#include <cstring>

namespace tw {

PlatformError PlatformError::fromErrno(const QString &context, int error)
{
    return PlatformError(context + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error)));
}

QString describeError(const std::exception &error)
{
    if (const auto *engine = dynamic_cast<const SyncEngineError *>(&error))
        return engine->errorDescription();
    if (const auto *platform = dynamic_cast<const PlatformError *>(&error))
        return platform->message();
    return QString::fromUtf8(error.what());
}

} // namespace tw
