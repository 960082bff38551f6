#include "app/SecondLaunch.h"

#include "utilities/InstanceLock.h"

#include <QList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tw {
namespace {

using Delivery = InstanceChannel::Delivery;
using Outcome = SecondLaunch::Outcome;

// The holder is a lock of this process, which a second lock on the same root
// finds held; a delivery may see the holder let go meanwhile.
TEST(SecondLaunchTest, AHolderThatStoppedListeningIsWaitedForAndReplaced)
{
    const struct
    {
        const char *name;
        QList<Delivery> deliveries;  // the last one repeats
        int releasedAtDelivery;      // 0: never
        bool unreachable;            // the holder said it cannot listen
        Outcome outcome;
    } rows[] = {
        {"taken", {Delivery::Taken}, 0, false, Outcome::Handed},
        {"not answered", {Delivery::NotTaken}, 0, false, Outcome::NotTaken},
        {"listening once started", {Delivery::NotListening, Delivery::Taken}, 0, false, Outcome::Handed},
        {"ended meanwhile", {Delivery::NotListening}, 2, false, Outcome::TakeOver},
        {"never ending", {Delivery::NotListening}, 0, false, Outcome::StillEnding},
        {"running without its socket", {Delivery::NotListening}, 0, true, Outcome::Unreachable},
    };
    for (const auto &row : rows) {
        QTemporaryDir root;
        InstanceLock holder{AppPaths(root.path())};
        ASSERT_TRUE(holder.acquire()) << row.name;
        InstanceLock second{AppPaths(root.path())};
        ASSERT_FALSE(second.acquire()) << row.name;
        holder.setUnreachable(row.unreachable);
        int delivered = 0;
        const auto deliver = [&] {
            if (++delivered == row.releasedAtDelivery)
                holder.release();
            return row.deliveries.at(std::min<qsizetype>(delivered, row.deliveries.size()) - 1);
        };
        const auto wait = row.outcome == Outcome::StillEnding ? std::chrono::milliseconds(0) : SecondLaunch::takeOverWait;
        EXPECT_EQ(SecondLaunch::resolve(second, deliver, wait), row.outcome) << row.name;
        EXPECT_EQ(second.acquire(), row.outcome == Outcome::TakeOver) << row.name;
    }
    EXPECT_EQ(SecondLaunch::message(Outcome::StillEnding),
              QStringLiteral("TidewellMesh is still quitting. Open it again in a moment."));
    EXPECT_EQ(SecondLaunch::message(Outcome::NotTaken), InstanceLock::alreadyRunning);
    EXPECT_EQ(SecondLaunch::message(Outcome::Unreachable), InstanceLock::alreadyRunning);
}

} // namespace
} // namespace tw
