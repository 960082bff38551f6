#pragma once

#include <coroutine>
#include <vector>

namespace tw {

// Awaited, parks its coroutine in `queue` until the test resumes it.
struct QueuedPause
{
    std::vector<std::coroutine_handle<>> *queue;
    bool await_ready() const { return false; }
    void await_suspend(std::coroutine_handle<> handle) { queue->push_back(handle); }
    void await_resume() const {}
};

} // namespace tw
