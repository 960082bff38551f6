// The light and dark appearances as the widgets draw them: the lines and
// marks the style draws from the palette.
#include "views/shell/WidgetAppearance.h"

#include "design/ContrastRatio.h"
#include "views/shell/ReadableStyle.h"

#include "SaveShot.h"

#include <QApplication>
#include <QFrame>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>

namespace tw {
namespace {

using Appearance = AppPreferences::Appearance;

struct AppearanceGuard
{
    ~AppearanceGuard() { applyWidgetAppearance(Appearance::System); }
};

// A sunken divider in the dark is a faint line, not a white one.
TEST(WidgetAppearanceTest, TheDarkDividerIsFaint)
{
    AppearanceGuard restore;
    applyWidgetAppearance(Appearance::Dark);
    QFrame divider;
    divider.setFrameShape(QFrame::HLine);
    divider.setFrameShadow(QFrame::Sunken);
    divider.resize(100, 3);
    const QImage line = divider.grab().toImage();
    const QColor window = QApplication::palette().color(QPalette::Window);
    for (int y = 0; y < line.height(); ++y)
        EXPECT_LT(contrastRatio(line.pixelColor(50, y), window), 1.6) << line.pixelColor(50, y).name().toStdString();
}

// A picker's chosen segment (a checked button) is edged in the highlight in
// either appearance; the others are not.
TEST(WidgetAppearanceTest, AChosenSegmentIsEdgedInTheHighlight)
{
    AppearanceGuard restore;
    for (const Appearance appearance : {Appearance::Light, Appearance::Dark}) {
        applyWidgetAppearance(appearance);
        QPushButton chosen(QStringLiteral("Dark"));
        QPushButton other(QStringLiteral("Light"));
        chosen.setCheckable(true);
        chosen.setChecked(true);
        other.setCheckable(true);
        for (QPushButton *button : {&chosen, &other})
            button->resize(80, 26);
        const QImage on = saveShot(chosen, QStringLiteral("segment-chosen-") + (appearance == Appearance::Dark ? "dark" : "light"));
        const QImage off = other.grab().toImage();
        const QColor highlight = QApplication::palette().color(QPalette::Highlight);
        // The top edge, halfway along.
        EXPECT_EQ(on.pixelColor(on.width() / 2, 0).rgb(), highlight.rgb());
        EXPECT_NE(off.pixelColor(off.width() / 2, 0).rgb(), highlight.rgb());
    }
}

// Every appearance, the desktop's own ("System", the default) too, draws
// through the readable style: a selection carries its text at 4.5 : 1, and a
// text field's edge stands out 3 : 1 from the window.
TEST(WidgetAppearanceTest, EveryAppearanceDrawsReadably)
{
    AppearanceGuard restore;
    for (const Appearance appearance : {Appearance::System, Appearance::Light, Appearance::Dark, Appearance::System}) {
        SCOPED_TRACE(int(appearance));
        applyWidgetAppearance(appearance);
        EXPECT_NE(qobject_cast<ReadableStyle *>(QApplication::style()), nullptr);
        const QPalette palette = QApplication::palette();
        for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
            EXPECT_GE(contrastRatio(palette.color(group, QPalette::HighlightedText), palette.color(group, QPalette::Highlight)),
                      textContrast);
        QWidget page;
        page.setAutoFillBackground(true);
        auto *field = new QLineEdit(&page);
        page.resize(140, 40);
        field->setGeometry(10, 8, 120, 24);
        const QImage shot = page.grab().toImage();
        const QColor window = palette.color(QPalette::Window);
        EXPECT_GE(contrastRatio(shot.pixelColor(70, 8), window), markContrast) << shot.pixelColor(70, 8).name().toStdString();
    }
}

} // namespace
} // namespace tw
