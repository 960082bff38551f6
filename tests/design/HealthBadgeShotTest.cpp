#include "design/DeviceSyncRing.h"
#include "design/StatusBubble.h"
#include "design/Theme.h"

#include "SaveShot.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

bool near(QColor a, QColor b)
{
    return std::abs(a.red() - b.red()) <= 6 && std::abs(a.green() - b.green()) <= 6 &&
           std::abs(a.blue() - b.blue()) <= 6;
}

// Whether the colour is drawn, opaque, somewhere in the image.
bool shows(const QImage &image, QColor color)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (near(image.pixelColor(x, y), color))
                return true;
    return false;
}

// Each badge in each health, kept as pictures; where a ring is drawn its
// start at twelve o'clock is the syncing colour, elsewhere the health's
// symbol shows in the health colour.
TEST(HealthBadgeShotTest, BothBadgesInEveryHealth)
{
    constexpr int size = 40;
    const QList<std::pair<const char *, SyncHealth>> healths = {
        {"syncing-0", SyncHealth::syncing(0)}, {"syncing-half", SyncHealth::syncing(0.5)},
        {"stopped", SyncHealth::stopped()},    {"all-synced", SyncHealth::allSynced()},
        {"paused", SyncHealth::paused()},      {"offline", SyncHealth::offline()},
        {"error", SyncHealth::error()},
    };
    for (const auto &[name, health] : healths) {
        SCOPED_TRACE(name);
        const bool syncing = health.kind == SyncHealth::Kind::Syncing;
        StatusBubble bubble(health, size);
        DeviceSyncRing ring(health, size);
        bubble.resize(bubble.sizeHint());
        ring.resize(ring.sizeHint());
        const QImage bubbleShot = saveShot(bubble, QStringLiteral("status-bubble-") + name);
        const QImage ringShot = saveShot(ring, QStringLiteral("device-ring-") + name);
        ASSERT_FALSE(bubbleShot.isNull());
        ASSERT_FALSE(ringShot.isNull());
        EXPECT_EQ(bubbleShot.size(), QSize(size, size));
        EXPECT_EQ(ringShot.size(), ring.sizeHint());
        if (syncing) {
            // Just clockwise of twelve o'clock, on the line.
            const int ringTop = (ring.sizeHint().height() - size) / 2;
            EXPECT_TRUE(near(bubbleShot.pixelColor(size / 2 + 1, 2), Theme::syncing()));
            EXPECT_TRUE(near(ringShot.pixelColor(ringShot.width() / 2 + 1, ringTop), Theme::syncing()));
        } else {
            EXPECT_TRUE(shows(bubbleShot, Theme::healthColor(health)));
            EXPECT_TRUE(shows(ringShot, Theme::healthColor(health)));
        }
    }
}

} // namespace
} // namespace tw
