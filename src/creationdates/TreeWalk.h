#pragma once

#include <QString>

#include <atomic>
#include <filesystem>
#include <functional>

namespace tw {

// A depth-first walk of a folder that never follows symbolic links (a directory
// that has become one by the time it is entered is passed over) and lets the
// visitor prune directories. Unlike a plain recursive iterator it keeps going
// when one directory cannot be read (vanished, no permission): that directory
// is simply not entered.
class TreeWalk
{
public:
    // Called for every item below the root (not for the root itself) with its
    // full path, its last path component and its own type (links not followed).
    // Returning false for a directory keeps the walk out of it; the answer is
    // ignored for anything else.
    using Visitor = std::function<bool(const QString &path, const QString &name, std::filesystem::file_type type)>;

    // Walks below root; ends early once stop (when given) turns true.
    static void walk(const QString &root, const Visitor &visit, const std::atomic_bool *stop = nullptr);
};

} // namespace tw
