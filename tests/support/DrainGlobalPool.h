#pragma once

#include <QThreadPool>

namespace tw {

// Declared right after a temporary directory, it waits for the global pool's
// tasks before the directory goes: a background reload that still writes
// would otherwise create the removed directory again, outside any test's.
struct DrainGlobalPool
{
    DrainGlobalPool() = default;
    DrainGlobalPool(const DrainGlobalPool &) = delete;
    DrainGlobalPool &operator=(const DrainGlobalPool &) = delete;
    ~DrainGlobalPool() { QThreadPool::globalInstance()->waitForDone(); }
};

} // namespace tw
