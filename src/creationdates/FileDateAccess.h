#pragma once

#include <QString>

#include <functional>
#include <optional>

namespace tw {

// The three file-system primitives that creation-date reconciliation needs,
// gathered so that callers can be handed a stand-in (a file system that refuses
// user attributes, a counter of writes) instead of the real calls.
struct FileDateAccess
{
    // The file's birth time in whole seconds; nothing when unknown or below 1.
    std::function<std::optional<qint64>(const QString &path)> birthtime;
    // The creation-date attribute as a number; nothing when absent or unreadable.
    std::function<std::optional<qint64>(const QString &path)> crtimeXattrValue;
    // Writes the creation-date attribute; answers 0 or the errno of the failure.
    std::function<int(const QString &path, qint64 seconds)> setCrtimeXattr;

    // The real calls of FileDates.
    static FileDateAccess system();
};

} // namespace tw
