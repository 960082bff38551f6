#include "design/ContrastRatio.h"
#include "design/DeviceSyncRing.h"
#include "design/StatusBubble.h"
#include "design/Theme.h"

#include "SaveShot.h"
#include "TextContrast.h"

#include <QApplication>
#include <gtest/gtest.h>

namespace tw {
namespace {

// A symbol reads on what is behind it, in a shade of the health's colour.
void expectSymbolOn(const QImage &image, QColor ground, QColor health)
{
    const QColor ink = test::strongestPixel(image, ground);
    EXPECT_GE(contrastRatio(ink, ground), markContrast) << ink.name().toStdString() << " on "
                                                           << ground.name().toStdString();
    EXPECT_NEAR(ink.toHsl().hslHueF(), health.toHsl().hslHueF(), 0.02) << ink.name().toStdString();
}

// The arc's ink in the area, on the window: a shade of the syncing orange.
void expectMarkOn(const QImage &image, const QRect &area, const QColor &window)
{
    const QColor ink = test::strongestPixel(image, window, area);
    EXPECT_GE(contrastRatio(ink, window), markContrast) << ink.name().toStdString();
    EXPECT_NEAR(ink.toHsl().hslHueF(), Theme::syncing().toHsl().hslHueF(), 0.02) << ink.name().toStdString();
}

// Each badge in each health, kept as pictures; where a ring is drawn its
// start at twelve o'clock is the syncing colour, elsewhere the health's
// symbol shows in a shade of the health colour that reads on the badge, in
// the light and the dark appearance.
TEST(HealthBadgeShotTest, BothBadgesInEveryHealth)
{
    constexpr int size = 40;
    const QList<std::pair<const char *, SyncHealth>> healths = {
        {"syncing-0", SyncHealth::syncing(0)}, {"syncing-half", SyncHealth::syncing(0.5)},
        {"stopped", SyncHealth::stopped()},    {"all-synced", SyncHealth::allSynced()},
        {"paused", SyncHealth::paused()},      {"offline", SyncHealth::offline()},
        {"error", SyncHealth::error()},
    };
    QPalette dark = QApplication::palette();
    dark.setColor(QPalette::Window, QColor(45, 45, 48));
    dark.setColor(QPalette::Base, QColor(30, 30, 32));
    dark.setColor(QPalette::WindowText, QColor(232, 232, 235));
    for (const auto &[look, palette] : {std::pair{"", QApplication::palette()}, std::pair{"dark-", dark}})
        for (const auto &[name, health] : healths) {
            SCOPED_TRACE(std::string(look) + name);
            const bool syncing = health.kind == SyncHealth::Kind::Syncing;
            StatusBubble bubble(health, size);
            DeviceSyncRing ring(health, size);
            bubble.setPalette(palette);
            ring.setPalette(palette);
            bubble.resize(bubble.sizeHint());
            ring.resize(ring.sizeHint());
            const QString suffix = QString::fromLatin1(look) + QString::fromLatin1(name);
            const QImage bubbleShot = saveShot(bubble, QStringLiteral("status-bubble-") + suffix);
            const QImage ringShot = saveShot(ring, QStringLiteral("device-ring-") + suffix);
            ASSERT_FALSE(bubbleShot.isNull());
            ASSERT_FALSE(ringShot.isNull());
            EXPECT_EQ(bubbleShot.size(), QSize(size, size));
            EXPECT_EQ(ringShot.size(), ring.sizeHint());
            if (syncing) {
                // Just clockwise of twelve o'clock, on the line.
                const int ringTop = (ring.sizeHint().height() - size) / 2;
                // The arc stands out 3 : 1 from the window, in a shade of orange.
                const QColor window = palette.color(QPalette::Window);
                expectMarkOn(bubbleShot, QRect(size / 2 + 1, 0, 3, 5), window);
                expectMarkOn(ringShot, QRect(ringShot.width() / 2 + 1, ringTop - 3, 3, 7), window);
            } else {
                // Inside the disc, left of the symbol; inside the ring, above it.
                expectSymbolOn(bubbleShot, bubbleShot.pixelColor(size / 8, size / 2), Theme::healthColor(health));
                expectSymbolOn(ringShot, ringShot.pixelColor(ringShot.width() / 2, ringShot.height() / 4),
                               Theme::healthColor(health));
            }
        }
}

} // namespace
} // namespace tw
