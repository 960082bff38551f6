#pragma once

#include <QtGlobal>

namespace tw {

// How far another device has got with one folder.
struct PeerCompletion
{
    double percent = 0;  // 0 to 100
    qint64 needBytes = 0;

    bool operator==(const PeerCompletion &) const = default;
};

} // namespace tw
