#pragma once

#include <QDateTime>
#include <functional>

namespace tw {

// The current time, injected wherever time decides behaviour.
using Clock = std::function<QDateTime()>;

inline Clock systemClock()
{
    return [] { return QDateTime::currentDateTimeUtc(); };
}

} // namespace tw
