#pragma once

#include <QtGlobal>

namespace tw {

// How far another device has got with one folder.
struct PeerCompletion
{
    double percent = 0;  // 0 to 100
    qint64 needBytes = 0;
    // The device has taken the folder and shares it with this one: until
    // then it neither sends nor receives anything of it.
    bool takesPart = false;

    bool operator==(const PeerCompletion &) const = default;
};

} // namespace tw
