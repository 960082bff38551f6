#include "utilities/Sleeper.h"

#include <qcoro/qcorotimer.h>

namespace tw {

Sleeper realSleeper()
{
    return [](std::chrono::milliseconds duration) -> QCoro::Task<void> { co_await QCoro::sleepFor(duration); };
}

} // namespace tw
