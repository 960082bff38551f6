#pragma once

#include <QString>

namespace tw {

// Whether two folders' trees meet: one is the other or lies inside it. Two
// engine folders whose trees meet would each pass their files, and their
// deletions, to the other's devices.
class PathOverlap
{
public:
    // As written: absolute paths cleaned of ".", ".." and doubled or trailing
    // slashes, compared exactly. Reads nothing.
    static bool written(const QString &a, const QString &b);
    // As the file system has them: links followed, and a folder reached
    // under two spellings (a link, a case-blind volume, a bind mount) is one
    // folder. A path not made yet is taken through its nearest existing
    // parent. Reads the disk: run it off the main thread.
    static bool onDisk(const QString &a, const QString &b);
};

} // namespace tw
