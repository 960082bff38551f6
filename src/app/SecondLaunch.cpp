#include "app/SecondLaunch.h"

#include "utilities/InstanceLock.h"

#include <QDeadlineTimer>

namespace tw {

const QString SecondLaunch::stillEnding =
    QStringLiteral("TidewellMesh is still quitting. Open it again in a moment.");

SecondLaunch::Outcome SecondLaunch::resolve(InstanceLock &lock, const Deliver &deliver,
                                            std::chrono::milliseconds wait)
{
    const QDeadlineTimer deadline(wait);
    while (true) {
        // Each delivery waits a while for a listener; no pause is needed.
        if (lock.acquire())
            return Outcome::TakeOver;
        // Asked of a living holder only: a dead one's lock was just taken.
        if (lock.holderUnreachable())
            return Outcome::Unreachable;
        switch (deliver()) {
        case InstanceChannel::Delivery::Taken:
            return Outcome::Handed;
        case InstanceChannel::Delivery::NotTaken:
            return Outcome::NotTaken;
        case InstanceChannel::Delivery::NotListening:
            break;
        }
        if (deadline.hasExpired())
            return Outcome::StillEnding;
    }
}

QString SecondLaunch::message(Outcome outcome)
{
    return outcome == Outcome::StillEnding ? stillEnding : InstanceLock::alreadyRunning;
}

} // namespace tw
