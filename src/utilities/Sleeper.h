#pragma once

#include <chrono>
#include <functional>

#include <qcoro/qcorotask.h>

namespace tw {

// Waiting, injected wherever a wait decides behaviour, so tests of multi-second
// rules run in milliseconds.
using Sleeper = std::function<QCoro::Task<void>(std::chrono::milliseconds)>;

// Sleeps on the event loop with a single-shot timer.
Sleeper realSleeper();

} // namespace tw
