#include "views/window/ErrorBanner.h"
#include "views/window/IncomingBanner.h"

#include "design/ContrastRatio.h"
#include "design/MoveFadeTransition.h"
#include "design/Theme.h"

#include "SaveShot.h"

#include <QLabel>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(ErrorBannerTest, ShowsOnlyAMessageThatSaysSomething)
{
    QWidget page;
    auto *banner = new ErrorBanner(&page);
    page.resize(500, 120);
    page.show();
    struct Row
    {
        const char *name;
        std::optional<QString> message;
        bool shown;
    };
    const QList<Row> rows = {
        {"a message", QStringLiteral("Couldn\u2019t reach Syncthing"), true},
        {"none", std::nullopt, false},
        {"empty", QString(), false},
        {"again", QStringLiteral("Folder not found: tdw-1"), true},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        banner->setMessage(row.message);
        EXPECT_EQ(banner->isVisible(), row.shown);
        if (row.shown) {
            EXPECT_EQ(banner->findChild<QLabel *>("errorText")->text(), *row.message);
        }
    }
    banner->resize(480, banner->sizeHint().height());
    const QImage shot = saveShot(*banner, QStringLiteral("error-banner"));
    ASSERT_FALSE(shot.isNull());
    // Inside the red rectangle, left of the symbol: the danger colour's
    // shade that carries white text at 4.5 : 1.
    const QColor inside = shot.pixelColor(12 + 4, shot.height() / 2);
    const QColor red = readableShade(Theme::danger(), Qt::white, textContrast);
    EXPECT_NEAR(inside.red(), red.red(), 6);
    EXPECT_NEAR(inside.green(), red.green(), 6);
    EXPECT_GE(contrastRatio(Qt::white, inside), textContrast);
}

// Shown and hidden at once for whoever asks, while the drawing slides and
// fades to the same end; a change on the way replaces the running one.
TEST(ErrorBannerTest, EntersAndLeavesByTheTopEdge)
{
    QWidget page;
    auto *banner = new ErrorBanner(&page);
    page.resize(500, 120);
    page.show();
    MoveFadeTransition &transition = MoveFadeTransition::of(*banner);
    QSignalSpy ended(&transition, &MoveFadeTransition::finished);
    auto ghosts = [&] { return page.findChildren<QLabel *>(QStringLiteral("moveFadeGhost")).size(); };

    banner->setMessage(QStringLiteral("Broken"));
    banner->setGeometry(0, 0, 480, banner->sizeHint().height());
    EXPECT_TRUE(banner->isVisible());
    EXPECT_TRUE(transition.isRunning());
    EXPECT_TRUE(MoveFadeTransition::anyRunning());
    ASSERT_TRUE(ended.wait());
    EXPECT_EQ(transition.progress(), 1);
    // In place and opaque: the banner's red right below the top padding.
    const QImage shown = page.grab().toImage();
    const QColor top = shown.pixelColor(shotArea(shown, page, *banner).topLeft() + QPoint(16, 14));
    const QColor red = readableShade(Theme::danger(), Qt::white, textContrast);
    EXPECT_NEAR(top.red(), red.red(), 6);
    EXPECT_NEAR(top.green(), red.green(), 6);

    banner->setMessage(std::nullopt);
    EXPECT_FALSE(banner->isVisible());
    EXPECT_EQ(ghosts(), 1);
    ASSERT_TRUE(ended.wait());
    EXPECT_EQ(ghosts(), 0);
    EXPECT_EQ(transition.progress(), 0);
    EXPECT_FALSE(MoveFadeTransition::anyRunning());

    banner->setMessage(QStringLiteral("Again"));
    banner->setMessage(std::nullopt);
    banner->setMessage(QStringLiteral("Again"));
    EXPECT_EQ(ghosts(), 0);
    ASSERT_TRUE(ended.wait());
    EXPECT_EQ(ended.size(), 3);
    EXPECT_TRUE(banner->isVisible());
    EXPECT_EQ(transition.progress(), 1);
}

TEST(ErrorBannerTest, IncomingBannerReadsTheCountOnTheSyncingColour)
{
    IncomingBanner banner;
    banner.setCount(3);
    EXPECT_EQ(banner.text(), QStringLiteral("3 incoming \u2014 a teammate wants to share with you. Review"));
    banner.resize(760, banner.sizeHint().height());
    banner.show();
    const QImage shot = saveShot(banner, QStringLiteral("incoming-banner"));
    ASSERT_EQ(shot.size(), banner.size());
    // Between the outer and the inner padding, on the pill.
    EXPECT_EQ(shot.pixelColor(10 + 6, shot.height() / 2).rgb(), Theme::syncing().rgb());
    // Its text reads on it as body text must: the strongest ink on the pill.
    double strongest = 1;
    for (int y = 10; y < shot.height() - 10; ++y)
        for (int x = 10; x < shot.width() - 10; ++x)
            strongest = std::max(strongest, contrastRatio(shot.pixelColor(x, y), Theme::syncing()));
    EXPECT_GE(strongest, textContrast);
}

} // namespace
} // namespace tw
