#include "design/ContrastRatio.h"
#include "design/DerivedForeground.h"
#include "design/ShownSymbol.h"
#include "design/StatusDot.h"
#include "design/TextStyle.h"
#include "design/Theme.h"

#include "TextContrast.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>
#include <functional>

namespace tw {
namespace {

TEST(ContrastRatioTest, KnownPairsAndTranslucentText)
{
    struct Row
    {
        const char *name;
        QColor text;
        QColor background;
        double ratio;
    };
    const QList<Row> rows = {
        {"black on white", Qt::black, Qt::white, 21.0},
        {"same colour", QColor(120, 40, 200), QColor(120, 40, 200), 1.0},
        {"either way round", Qt::white, Qt::black, 21.0},
        {"mid grey on white", QColor(118, 118, 118), Qt::white, 4.54},
        {"half black is the grey it draws", QColor(0, 0, 0, 128), Qt::white, contrastRatio(QColor(127, 127, 127), Qt::white)},
        {"invisible text", QColor(0, 0, 0, 0), Qt::white, 1.0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_NEAR(contrastRatio(row.text, row.background), row.ratio, 0.02);
    }
}

TEST(ContrastRatioTest, AReadableShadeKeepsTheHueAndReachesTheBound)
{
    const QColor orange(245, 158, 11);
    for (const QColor &background : {orange, QColor(Qt::white), QColor(45, 45, 48)}) {
        const QColor shade = readableShade(orange, background, textContrast);
        EXPECT_GE(contrastRatio(shade, background), textContrast);
        EXPECT_NEAR(shade.hslHueF(), orange.hslHueF(), 0.01);
    }
    // Already readable: unchanged.
    EXPECT_EQ(readableShade(orange, Qt::black, textContrast), orange);
}

QPalette paletteWithText(const QColor &text, const QColor &window)
{
    QPalette palette = QApplication::palette();
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::Base, window);
    return palette;
}

TEST(DerivedForegroundTest, TheColourFollowsTheInheritedPaletteWhenItChanges)
{
    QWidget light;
    light.setPalette(paletteWithText(Qt::black, Qt::white));
    QWidget dark;
    dark.setPalette(paletteWithText(Qt::white, Qt::black));
    auto *label = new QLabel(QStringLiteral("caption"), &light);
    // Half strength, or as much more as it takes to read.
    DerivedForeground::apply(*label, windowTextAt(0.5));
    const auto shown = [&] { return label->palette().color(QPalette::Active, QPalette::WindowText); };
    const auto readsAs = [&](QRgb text, QColor window) {
        EXPECT_EQ(shown().rgb(), text);
        EXPECT_GE(shown().alphaF(), 0.5);
        EXPECT_GE(contrastRatio(shown(), window), textContrast);
    };
    readsAs(qRgb(0, 0, 0), Qt::white);

    // The parent's palette switched, as the appearance does.
    light.setPalette(paletteWithText(QColor(232, 232, 235), QColor(45, 45, 48)));
    readsAs(qRgb(232, 232, 235), QColor(45, 45, 48));
    // Moved under another parent.
    label->setParent(&dark);
    readsAs(qRgb(255, 255, 255), Qt::black);
    // A new rule replaces the old one, and stays after the next change: a
    // design colour shaded to read on what it stands on.
    const QColor orange(255, 149, 0);
    DerivedForeground::apply(*label, readableTint(orange, textContrast));
    EXPECT_EQ(shown(), orange.rgba());  // on black it reads as it is
    dark.setPalette(paletteWithText(Qt::black, Qt::white));
    const QColor onWhite = label->palette().color(QPalette::Active, QPalette::WindowText);
    EXPECT_GE(contrastRatio(onWhite, Qt::white), textContrast);
    EXPECT_NEAR(onWhite.hslHueF(), orange.hslHueF(), 0.01);
    EXPECT_EQ(label->findChildren<DerivedForeground *>().size(), 1);
}

TEST(DerivedForegroundTest, ASymbolIsDrawnAgainInTheNewTextColour)
{
    QWidget page;
    page.setPalette(paletteWithText(Qt::black, Qt::white));
    auto *label = new QLabel(&page);
    showSymbol(*label, Symbol::Tray, 24, windowTextAt(1));
    EXPECT_EQ(shownSymbol(*label), Symbol::Tray);
    const auto inked = [&] {
        const QImage image = label->pixmap().toImage();
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixelColor(x, y).alpha() == 255)
                    return image.pixelColor(x, y).rgb();
        return QRgb(0);
    };
    EXPECT_EQ(inked(), QColor(Qt::black).rgb());
    page.setPalette(paletteWithText(Qt::white, Qt::black));
    EXPECT_EQ(inked(), QColor(Qt::white).rgb());
}

// A design colour's symbol, on a label or a button (with the button's text),
// is drawn in the shade that reads on the window of either appearance.
TEST(DerivedForegroundTest, ADesignColoursSymbolReadsInEitherAppearance)
{
    const QColor orange(255, 149, 0);
    QWidget page;
    auto *label = new QLabel(&page);
    auto *button = new QPushButton(QStringLiteral("Remove"), &page);
    showSymbol(*label, Symbol::Tray, 24, orange);
    showSymbol(*button, Symbol::Trash, readableTint(orange, markContrast));
    EXPECT_EQ(shownSymbol(*button), Symbol::Trash);
    for (const QColor &window : {QColor(Qt::white), QColor(45, 45, 48)}) {
        page.setPalette(paletteWithText(window.lightness() > 128 ? Qt::black : Qt::white, window));
        const QColor onLabel = test::symbolInk(label->pixmap().toImage());
        const QColor onButton = test::symbolInk(button->icon().pixmap(button->iconSize()).toImage());
        EXPECT_GE(contrastRatio(onLabel, window), markContrast) << onLabel.name().toStdString();
        EXPECT_NEAR(onLabel.hslHueF(), orange.hslHueF(), 0.01);
        EXPECT_EQ(onButton.rgb(), button->palette().color(QPalette::ButtonText).rgb());
        EXPECT_GE(contrastRatio(onButton, window), markContrast) << onButton.name().toStdString();
    }
}

// Tiles, group boxes and the inspector lay the window text faintly over the
// window: a tinted text reads there too.
TEST(DerivedForegroundTest, ATintReadsOnThePagesFaintWashes)
{
    const QColor orange(255, 149, 0);
    for (const QColor &window : {QColor(239, 239, 239), QColor(45, 45, 48)}) {
        const QColor text = window.lightness() > 128 ? QColor(Qt::black) : QColor(232, 232, 235);
        const QColor shade = readableTint(orange, markContrast).colourOn(paletteWithText(text, window));
        const auto mix = [&](float over, float under) { return over * 0.08f + under * 0.92f; };
        const QColor tile = QColor::fromRgbF(mix(text.redF(), window.redF()), mix(text.greenF(), window.greenF()),
                                             mix(text.blueF(), window.blueF()));
        EXPECT_GE(contrastRatio(shade, tile), markContrast) << window.name().toStdString();
    }
}

// A note's text stands on its card's translucent tint, darker than the window.
TEST(DerivedForegroundTest, ATintReadsOnTheWashItStandsOn)
{
    const QColor orange(255, 149, 0);
    QColor wash = orange;
    wash.setAlphaF(0.12);
    for (const QColor &window : {QColor(Qt::white), QColor(236, 236, 236), QColor(30, 30, 30)}) {
        const QColor text = readableTint(orange, textContrast, wash).colourOn(paletteWithText(Qt::black, window));
        const QColor behind = QColor::fromRgbF(orange.redF() * 0.12f + window.redF() * 0.88f,
                                               orange.greenF() * 0.12f + window.greenF() * 0.88f,
                                               orange.blueF() * 0.12f + window.blueF() * 0.88f);
        EXPECT_GE(contrastRatio(text, behind), textContrast) << window.name().toStdString();
    }
}

// The two appearances' grounds: the window, the views, and the window under
// the inspector's and a tile's washes of the window text (3 % and 4.5 %).
struct Look
{
    const char *name;
    QPalette palette;

    QColor window() const { return palette.color(QPalette::Window); }
    QColor base() const { return palette.color(QPalette::Base); }
    QColor inspectorTile() const
    {
        const QColor text = palette.color(QPalette::WindowText);
        QColor ground = window();
        for (const float alpha : {0.03f, 0.045f})
            ground = QColor::fromRgbF(text.redF() * alpha + ground.redF() * (1 - alpha),
                                      text.greenF() * alpha + ground.greenF() * (1 - alpha),
                                      text.blueF() * alpha + ground.blueF() * (1 - alpha));
        return ground;
    }
};

QList<Look> bothLooks()
{
    return {{"light", paletteWithText(Qt::black, QColor(239, 239, 239))},
            {"dark", [] {
                 QPalette dark = paletteWithText(QColor(232, 232, 235), QColor(45, 45, 48));
                 dark.setColor(QPalette::Base, QColor(30, 30, 32));
                 return dark;
             }()}};
}

// A caption-sized label on a page of that look, its text coloured by `colour`.
QColor captionColour(const QPalette &palette, const std::function<void(QLabel &)> &colour)
{
    QWidget page;
    page.setPalette(palette);
    auto *label = new QLabel(QStringLiteral("Offline"), &page);
    label->setFont(pointsFont(10));
    colour(*label);
    return label->palette().color(QPalette::Active, QPalette::WindowText);
}

// A status dot of that colour as drawn on a page of that look: its ink.
QColor dotInk(const QPalette &palette, const QColor &colour, const QColor &ground)
{
    QWidget page;
    page.setPalette(palette);
    auto *dot = new StatusDot(colour, 9, &page);
    return test::strongestPixel(dot->grab().toImage(), ground);
}

// Every kind of small text and mark that carries meaning, on each ground it
// stands on, in both appearances: a text reads at 4.5 : 1 whatever its size,
// in a shade of its own colour; a mark at 3 : 1.
TEST(ContrastRatioTest, TextsAndMarksReadOnTheirGroundsInBothAppearances)
{
    struct Row
    {
        const char *what;
        std::function<QColor(const QPalette &, const QColor &ground)> ink;
        QColor hue;  // invalid: the window text's grey
        double needed;
    };
    const auto tinted = [](QColor colour) {
        return [colour](const QPalette &palette, const QColor &) {
            return captionColour(palette, [&](QLabel &label) { tintText(label, colour); });
        };
    };
    const auto toned = [](qreal strength) {
        return [strength](const QPalette &palette, const QColor &) {
            return captionColour(palette, [&](QLabel &label) { DerivedForeground::apply(label, windowTextAt(strength)); });
        };
    };
    const auto dot = [](QColor colour) {
        return [colour](const QPalette &palette, const QColor &ground) { return dotInk(palette, colour, ground); };
    };
    const QList<Row> rows = {
        {"red caption (a folder's error, a refusal)", tinted(Theme::danger()), Theme::danger(), textContrast},
        {"orange caption (the schedule's warning)", tinted(Theme::orange()), Theme::orange(), textContrast},
        {"green caption (the NAS note)", tinted(Theme::synced()), Theme::synced(), textContrast},
        {"grey caption (\"Offline\")", tinted(Theme::offline()), Theme::offline(), textContrast},
        {"secondary text", toned(secondaryStrength), {}, textContrast},
        {"tertiary note", toned(tertiaryStrength), {}, textContrast},
        {"orange status dot", dot(Theme::syncing()), Theme::syncing(), markContrast},
        {"green status dot", dot(Theme::synced()), Theme::synced(), markContrast},
        {"red status dot", dot(Theme::danger()), Theme::danger(), markContrast},
    };
    for (const Look &look : bothLooks())
        for (const Row &row : rows)
            for (const auto &[groundName, ground] : {std::pair{"window", look.window()}, std::pair{"view", look.base()},
                                                     std::pair{"inspector tile", look.inspectorTile()}}) {
                SCOPED_TRACE(std::string(row.what) + " on the " + groundName + ", " + look.name);
                const QColor ink = row.ink(look.palette, ground);
                EXPECT_GE(contrastRatio(ink, ground), row.needed) << ink.name(QColor::HexArgb).toStdString();
                if (row.hue.isValid()) {
                    EXPECT_TRUE(test::isShadeOf(ink, row.hue)) << ink.name().toStdString();
                }
            }
}

} // namespace
} // namespace tw
