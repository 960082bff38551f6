#pragma once

#include <QtGlobal>

namespace tw {

// The engine's running totals of bytes received and sent.
struct CumulativeBytes
{
    qint64 inBytes = 0;
    qint64 outBytes = 0;

    bool operator==(const CumulativeBytes &) const = default;
};

} // namespace tw
