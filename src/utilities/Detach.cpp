#include "utilities/Detach.h"

namespace tw {

namespace {

QCoro::Task<void> runToEnd(QCoro::Task<void> task)
{
    try {
        co_await std::move(task);
    } catch (...) {
    }
}

} // namespace

void detach(QCoro::Task<void> task)
{
    // The wrapper's own task may be dropped: a QCoro task started eagerly
    // runs to its end without an owner.
    runToEnd(std::move(task));
}

} // namespace tw
