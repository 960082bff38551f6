#pragma once

#include "engine/SyncEngineError.h"

#include <qcoro/qcorotask.h>
#include <exception>
#include <optional>
#include <type_traits>

namespace tw {

namespace detail {

template <typename T>
using Outcome = std::optional<std::conditional_t<std::is_void_v<T>, bool, T>>;

template <typename T>
QCoro::Task<> captureOutcome(QCoro::Task<T> task, Outcome<T> *result, std::exception_ptr *error)
{
    try {
        if constexpr (std::is_void_v<T>) {
            co_await std::move(task);
            result->emplace(true);
        } else {
            result->emplace(co_await std::move(task));
        }
    } catch (...) {
        *error = std::current_exception();
    }
}

} // namespace detail

// Runs the event loop until the task ends and answers its result, rethrowing
// what it threw. QCoro::waitFor itself never returns when the task throws (the
// exception stays in its internal coroutine and the loop is never quit), so
// tests that expect a failure await through this.
template <typename T>
T awaitTask(QCoro::Task<T> task)
{
    detail::Outcome<T> result;
    std::exception_ptr error;
    QCoro::waitFor(detail::captureOutcome(std::move(task), &result, &error));
    if (error)
        std::rethrow_exception(error);
    if constexpr (!std::is_void_v<T>)
        return std::move(*result);
}

// The engine error a task fails with, or nothing when it succeeds.
template <typename T>
std::optional<SyncEngineError> failureOf(QCoro::Task<T> task)
{
    try {
        awaitTask(std::move(task));
    } catch (const SyncEngineError &error) {
        return error;
    }
    return std::nullopt;
}

} // namespace tw
