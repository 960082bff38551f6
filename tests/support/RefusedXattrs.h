#pragma once

#include <QString>

namespace tw::test {

// While it lives, every extended-attribute call this process makes on a path
// below a prefix (or on a file opened there) fails with ENOTSUP, as on a
// drive whose file system keeps no user attributes (exFAT, FAT). The test
// binary's own definitions come before the C library's. One at a time.
class RefusedXattrs
{
public:
    explicit RefusedXattrs(const QString &prefix);
    ~RefusedXattrs();
    RefusedXattrs(const RefusedXattrs &) = delete;
    RefusedXattrs &operator=(const RefusedXattrs &) = delete;
};

} // namespace tw::test
