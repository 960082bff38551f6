#pragma once

#include "app/InstanceChannel.h"

#include <QString>
#include <chrono>
#include <functional>

namespace tw {

class InstanceLock;

// What a copy that finds the instance lock held does with its request: hand
// it to the holder, or, while the holder does not listen, wait for it to let
// go of the lock and start in its place. A holder that quits stops listening
// first and ends within a bounded time; one still starting listens soon; one
// whose socket could not be opened says so, and is not waited for.
class SecondLaunch
{
public:
    enum class Outcome {
        Handed,      // the holder took the request
        TakeOver,    // the holder has gone: this copy holds the lock now
        NotTaken,    // the holder listens but took nothing
        StillEnding, // the holder neither listened nor let go in time
        Unreachable, // the holder runs but said it cannot listen
    };
    static constexpr std::chrono::seconds takeOverWait{40};
    using Deliver = std::function<InstanceChannel::Delivery()>;

    // Delivers until the request is taken or refused, the lock is taken, or
    // wait is over.
    static Outcome resolve(InstanceLock &lock, const Deliver &deliver,
                           std::chrono::milliseconds wait = takeOverWait);
    // What the user is told for an outcome that ends this copy unstarted.
    static QString message(Outcome outcome);

    static const QString stillEnding;  // "TidewellMesh is still quitting. …"
};

} // namespace tw
