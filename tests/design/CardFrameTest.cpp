#include "design/CardFrame.h"

#include "SaveShot.h"

#include <QLabel>
#include <gtest/gtest.h>

namespace tw {
namespace {

// One painter for every rounded frame: each page's radius, padding and
// stroke, and a border that changes when a card is selected.
TEST(CardFrameTest, FramesTakeTheirPaddingStrokeAndFill)
{
    const QColor fill(250, 250, 250);
    const QColor selected(0, 184, 163);
    struct Row
    {
        const char *name;
        CardStyle style;
    };
    const QList<Row> rows = {
        {"card", CardStyle{}},
        {"overview-card", {.radius = 14, .padding = CardStyle::even(18), .strokeWidth = 1, .fill = fill, .stroke = {}}},
        {"mac-card-selected",
         {.radius = 12, .padding = CardStyle::even(16), .strokeWidth = 2, .fill = fill, .stroke = selected}},
        {"chip", {.radius = 10, .padding = QMargins(13, 6, 13, 6), .strokeWidth = 0, .fill = fill, .stroke = {}}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        auto *content = new QLabel(QStringLiteral("Content"));
        CardFrame frame(content, row.style);
        frame.resize(200, 80);
        const QImage shot = saveShot(frame, QStringLiteral("card-") + row.name);
        ASSERT_FALSE(shot.isNull());
        EXPECT_EQ(content->geometry().topLeft(), QPoint(row.style.padding.left(), row.style.padding.top()));
        const QColor middle = shot.pixelColor(shot.width() / 2, shot.height() - 1 - row.style.padding.bottom() / 2);
        if (row.style.fill) {
            EXPECT_EQ(middle, row.style.fill->on(frame.palette()));
        }
        if (row.style.stroke) {
            EXPECT_EQ(shot.pixelColor(0, shot.height() / 2), row.style.stroke->on(frame.palette()));
        }
    }

    // Selecting repaints the border only; the padding stays.
    auto *content = new QLabel(QStringLiteral("Mac"));
    CardFrame card(content, {.radius = 12, .padding = CardStyle::even(16), .strokeWidth = 1, .fill = {}, .stroke = {}});
    CardStyle chosen = card.style();
    chosen.stroke = selected;
    chosen.strokeWidth = 2;
    card.setStyle(chosen);
    card.resize(120, 60);
    const QImage shot = saveShot(card, QStringLiteral("card-selected-later"));
    EXPECT_EQ(shot.pixelColor(0, shot.height() / 2), selected);
}

// A tile's fill is the window text faintly over the window: taken from the
// palette at each paint, it follows the appearance rather than staying in
// the one the tile was made in.
TEST(CardFrameTest, AFillFromThePaletteFollowsIt)
{
    CardFrame tile(new QLabel(QStringLiteral("Tile")), {.radius = 0, .padding = CardStyle::even(10), .strokeWidth = 0,
                                                        .fill = FrameColour::ofPalette(QPalette::WindowText, 0.25)});
    tile.resize(80, 40);
    const auto corner = [&](QColor text, QColor window) {
        QPalette palette = tile.palette();
        palette.setColor(QPalette::WindowText, text);
        palette.setColor(QPalette::Window, window);
        tile.setPalette(palette);
        return tile.grab().toImage().pixelColor(2, 2);
    };
    EXPECT_NEAR(corner(Qt::black, Qt::white).lightness(), 191, 3);
    EXPECT_NEAR(corner(Qt::white, Qt::black).lightness(), 64, 3);
}

} // namespace
} // namespace tw
