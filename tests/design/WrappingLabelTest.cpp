// Wrapping text whose height follows the width it gets.

#include "design/WrappingLabel.h"

#include "QtPrinters.h"
#include "SaveShot.h"
#include "ScreenChecks.h"

#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <functional>
#include <memory>
#include <gtest/gtest.h>

namespace tw {
namespace {

const QString kText = QStringLiteral(
    "A sync is one film or job. Add the drives and folders that belong to it and invite your teammates: "
    "everything stays on your own computers, and nothing goes through a cloud.");

struct Placement
{
    const char *name;
    int maximumWidth;
    Qt::Alignment alignment;
};

const Placement kPlacements[] = {
    {"the column's width", QWIDGETSIZE_MAX, {}},
    {"centred", QWIDGETSIZE_MAX, Qt::AlignHCenter},
    {"held to 440, centred", 440, Qt::AlignHCenter},
    {"held to 440", 440, {}},
};

// The labels' faults when placed so in a column of a scrolled page that wide.
QStringList faultsOf(const std::function<QLabel *()> &make, const Placement &placement, int width)
{
    QScrollArea page;
    page.setWidgetResizable(true);
    auto *column = new QWidget;
    auto *layout = new QVBoxLayout(column);
    QLabel *label = make();
    label->setMaximumWidth(placement.maximumWidth);
    layout->addWidget(label, 0, placement.alignment);
    layout->addStretch();
    page.setWidget(column);
    page.resize(width, 400);
    page.show();
    settleLayouts();
    const QStringList sideways =
        page.horizontalScrollBar()->isVisible() ? QStringList{QStringLiteral("the page scrolls sideways")} : QStringList();
    return sideways + screenchecks::labelFitFaults(page) + screenchecks::textFootFaults(page);
}

TEST(WrappingLabelTest, ShowsEveryLineHoweverItIsPlaced)
{
    for (const Placement &placement : kPlacements)
        for (const int width : {360, 760, 1366})
            EXPECT_EQ(faultsOf([] { return new WrappingLabel(kText); }, placement, width), QStringList())
                << placement.name << " at " << width;
}

// What the label mends: a word-wrapped QLabel is given the height for the
// column's width but, centred, only its own "pleasing" width.
TEST(WrappingLabelTest, APlainWrappedLabelCentredLosesLines)
{
    auto plain = [] {
        auto *label = new QLabel(kText);
        label->setWordWrap(true);
        return label;
    };
    EXPECT_FALSE(faultsOf(plain, kPlacements[2], 760).isEmpty());
    EXPECT_FALSE(faultsOf(plain, kPlacements[1], 1366).isEmpty());
}

// A name, path or ID of one word, as long as several lines.
const QString kLongWord = QStringLiteral("Reel_and_Co_final_grade_v2_").repeated(6);

// Whether some pixel of the label's last text line (above its foot) is
// drawn in its text colour.
bool drawsLastLine(QLabel &label)
{
    const QImage shot = label.grab().toImage();
    const int line = label.fontMetrics().height();
    const QRect last(0, label.height() - line, label.width(), line);
    return shotShowsColour(shot, shotArea(shot, label, label, last), label.palette().color(QPalette::WindowText));
}

TEST(WrappingLabelTest, AWordLongerThanItsLineWrapsInsideIt)
{
    const std::pair<const char *, std::function<QLabel *()>> kinds[] = {
        {"plain", [] { return new WrappingLabel(QStringLiteral("From ") + kLongWord); }},
        {"selectable",
         [] {
             auto *label = new WrappingLabel(QStringLiteral("From ") + kLongWord);
             label->setTextInteractionFlags(Qt::TextSelectableByMouse);
             return label;
         }},
        {"rich",
         [] {
             auto *label = new WrappingLabel;
             label->setTextFormat(Qt::RichText);
             label->setText(QStringLiteral("<b>From</b> ") + kLongWord);
             return label;
         }},
    };
    for (const auto &[kind, make] : kinds)
        for (const Placement &placement : kPlacements) {
            SCOPED_TRACE(std::string(kind) + ", " + placement.name);
            EXPECT_EQ(faultsOf(make, placement, 360), QStringList());
            QLabel *label = make();
            label->resize(300, label->heightForWidth(300));
            EXPECT_GE(label->height(), 3 * label->fontMetrics().lineSpacing());
            EXPECT_TRUE(drawsLastLine(*label));
            delete label;
        }
}

// A break inside a text from elsewhere is drawn as a space, the label as
// tall as for one line, plain or selectable; lines given as lines each
// begin a line.
TEST(WrappingLabelTest, ALineBreakInItsTextTakesNoLine)
{
    for (const bool selectable : {false, true}) {
        SCOPED_TRACE(selectable ? "selectable" : "plain");
        const auto make = [selectable](const QString &text) {
            auto label = std::make_unique<WrappingLabel>(text);
            if (selectable)
                label->setTextInteractionFlags(Qt::TextSelectableByMouse);
            return label;
        };
        const auto one = make(QStringLiteral("Ann Second line"));
        for (const QString &broken : {QStringLiteral("Ann\nSecond line"), QStringLiteral("Ann\u2028Second line")}) {
            const auto label = make(broken);
            EXPECT_EQ(label->shownLines(), QStringList{QStringLiteral("Ann Second line")});
            EXPECT_EQ(label->heightForWidth(600), one->heightForWidth(600));
            EXPECT_EQ(label->minimumSizeHint().height(), one->minimumSizeHint().height());
            EXPECT_EQ(label->sizeHint(), one->sizeHint());
        }
        const auto lines = make({});
        lines->setLines({QStringLiteral("Broken"), QStringLiteral("Edit\nBay")});
        EXPECT_EQ(lines->shownLines(), (QStringList{QStringLiteral("Broken"), QStringLiteral("Edit Bay")}));
        EXPECT_GT(lines->heightForWidth(600), one->heightForWidth(600));
    }
}

} // namespace
} // namespace tw
