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
    // How far the device's index of the folder has come here: 0 until any of
    // it has, also while the device still scans a folder it took.
    qint64 indexSequence = 0;

    bool operator==(const PeerCompletion &) const = default;
};

} // namespace tw
