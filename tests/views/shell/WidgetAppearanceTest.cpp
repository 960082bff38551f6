// The light and dark appearances as the widgets draw them: the lines and
// marks the style draws from the palette.
#include "views/shell/WidgetAppearance.h"

#include "design/ContrastRatio.h"
#include "design/DestructiveItem.h"
#include "design/Symbol.h"
#include "views/shell/ReadableStyle.h"

#include "SaveShot.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStyleFactory>
#include <algorithm>
#include <memory>
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

// The page holding one field of each kind a user types in: a line edit, a
// spin box and an editable combo box, their top edges at y = 8.
struct FieldsPage
{
    QWidget page;
    QList<QWidget *> fields{new QLineEdit(&page), new QSpinBox(&page), editableCombo()};

    FieldsPage()
    {
        page.setAutoFillBackground(true);
        page.resize(420, 40);
        for (int i = 0; i < fields.size(); ++i)
            fields[i]->setGeometry(10 + 140 * i, 8, 120, 24);
    }
    QComboBox *editableCombo()
    {
        auto *combo = new QComboBox(&page);
        combo->setEditable(true);
        return combo;
    }
};

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
        for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
            EXPECT_GE(contrastRatio(palette.color(group, QPalette::HighlightedText), palette.color(group, QPalette::Highlight)),
                      textContrast);
            EXPECT_GE(contrastRatio(palette.color(group, QPalette::PlaceholderText), palette.color(group, QPalette::Base)),
                      textContrast);
        }
        FieldsPage fields;
        const QImage shot = saveShot(fields.page, QStringLiteral("field-edges-%1").arg(int(appearance)));
        const QColor window = palette.color(QPalette::Window);
        // Fusion draws a spin box's edge a pixel lower than a line edit's.
        for (const QWidget *field : std::as_const(fields.fields)) {
            const int x = field->geometry().center().x();
            EXPECT_GE(std::max(contrastRatio(shot.pixelColor(x, 8), window), contrastRatio(shot.pixelColor(x, 9), window)),
                      markContrast)
                << field->metaObject()->className();
        }
    }
}

// Over a desktop style other than Fusion the readable style draws none of
// Fusion's shapes on top of the desktop's own (a second edge of another
// geometry), yet a destructive menu item still reads in red.
TEST(WidgetAppearanceTest, ADesktopStyleKeepsItsOwnShapes)
{
    std::unique_ptr<QStyle> plain(QStyleFactory::create(QStringLiteral("Windows")));
    ReadableStyle readable(QStyleFactory::create(QStringLiteral("Windows")));
    const auto shotIn = [](QStyle &style, QWidget &root) {
        root.setStyle(&style);
        for (QWidget *child : root.findChildren<QWidget *>())
            child->setStyle(&style);
        return root.grab().toImage();
    };
    FieldsPage fields;
    fields.page.resize(420, 80);
    auto *box = new QCheckBox(&fields.page);
    auto *chosen = new QPushButton(QStringLiteral("Dark"), &fields.page);
    chosen->setCheckable(true);
    chosen->setChecked(true);
    auto *bar = new QProgressBar(&fields.page);
    bar->setValue(30);
    box->setGeometry(10, 44, 20, 20);
    chosen->setGeometry(40, 44, 80, 26);
    bar->setGeometry(150, 44, 200, 20);
    EXPECT_EQ(shotIn(readable, fields.page), shotIn(*plain, fields.page));

    QMenu menu;
    menu.addAction(QStringLiteral("Rename…"));
    QAction *remove = menu.addAction(QStringLiteral("Remove this sync…"));
    markDestructive(*remove, Symbol::Trash);
    remove->setIcon({}); // Only its text is red then.
    menu.setStyle(&readable);
    const QImage shot = menu.grab().toImage();
    const QRect row = menu.actionGeometry(remove);
    bool redText = false;
    for (int y = row.top(); y <= row.bottom() && !redText; ++y)
        for (int x = row.left(); x <= row.right() && !redText; ++x)
            redText = shot.pixelColor(x, y).red() > shot.pixelColor(x, y).green() + 60;
    EXPECT_TRUE(redText);
}

} // namespace
} // namespace tw
